# make run   builds and starts Sentrel
# make test  builds and runs every test
# Both install the Debian packages they need when missing.

BUILD_DIR ?= build
WERROR ?= OFF
ARGS ?=

PACKAGES := cmake ninja-build g++ make pkg-config qt6-base-dev qt6-qpa-plugins \
            libgtest-dev libcanberra-dev sound-theme-freedesktop
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test clean

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
	cmake -S . -B $(BUILD_DIR) -G Ninja -DSENTREL_WERROR=$(WERROR)

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

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j2

clean:
	rm -rf $(BUILD_DIR)
