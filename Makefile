# make run   builds and starts Sentrel
# make test  builds and runs every test
# Both install the Debian packages they need when missing.

BUILD_DIR ?= build
WERROR ?= OFF
SANITIZE ?= OFF
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 30
FUZZ_TARGETS := project_list ignore_list log_row normalize_time normalize_interval
ARGS ?=

PACKAGES := cmake ninja-build g++ make pkg-config qt6-base-dev qt6-qpa-plugins \
            libgtest-dev libcanberra-dev libmount-dev clang libclang-rt-dev libasound2-dev sound-theme-freedesktop \
            dpkg-dev file desktop-file-utils appstream \
            xvfb x11-utils x11-apps xdotool trayer openbox dbus at-spi2-core \
            python3-dbus python3-gi python3-pyatspi python3-xlib \
            fuse3 exfat-fuse exfatprogs fusefat dosfstools ntfs-3g bindfs sshfs openssh-sftp-server xfsprogs rsync
# Sanitized builds: what LeakSanitizer is to pass over in libraries, and
# full reports. Plain builds ignore these.
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS ?= print_stacktrace=1
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test test-tsan package fuzz clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DSENTREL_WERROR=$(WERROR) -DSENTREL_SANITIZE=$(SANITIZE)

build: configure
	cmake --build $(BUILD_DIR)

# Without a display the program runs on Qt's offscreen platform.
run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY$$QT_QPA_PLATFORM" ]; then \
	  echo "No display: running with QT_QPA_PLATFORM=offscreen (stop it with Ctrl+C)"; \
	  QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/sentrel $(ARGS); \
	else \
	  $(BUILD_DIR)/sentrel $(ARGS); \
	fi

# The set-up above installed the desktop tools, so their tests may not skip.
test: build
	cd $(BUILD_DIR) && SENTREL_DESKTOP_TOOLS=required ctest --output-on-failure -j2

# The core tests, threads and all, under ThreadSanitizer.
TSAN_DIR ?= build-tsan
test-tsan: deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DSENTREL_WERROR=$(WERROR) -DSENTREL_TSAN=ON
	cmake --build $(TSAN_DIR) --target core_tests
	cd $(TSAN_DIR) && LANG=C.UTF-8 LC_ALL=C.UTF-8 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  timeout 1200 tests/core_tests

# A .deb in $(BUILD_DIR): sudo apt-get install ./$(BUILD_DIR)/sentrel_*.deb
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# A short bounded run of each fuzz target under libFuzzer, ASan and UBSan.
# New inputs go to $(FUZZ_DIR)/corpus, findings to $(FUZZ_DIR)/crash-*.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DSENTREL_LIBFUZZER=ON \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
	cmake --build $(FUZZ_DIR) --target fuzz_targets
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_DIR)/corpus/$$t && echo "Fuzzing $$t for $(FUZZ_SECONDS) s" && \
	  $(FUZZ_DIR)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_DIR)/ $(FUZZ_DIR)/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

clean:
	rm -rf $(BUILD_DIR)
