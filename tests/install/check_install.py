#!/usr/bin/env python3
"""Installs the build into a temporary prefix and packages it, then checks
what a desktop and a package manager would see.

    check_install.py BUILD_DIR SOURCE_DIR
"""

import configparser
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

APP_ID = "example.corvane.Sentrel"
SKIP = 77
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300,
                          **kwargs)


def tool(name, package):
    """The tool's path; a tool missing from the set-up is a failure, elsewhere a note."""
    path = shutil.which(name)
    if not path:
        message = f"{name} is not installed ({package})"
        if os.environ.get("SENTREL_DESKTOP_TOOLS") == "required":
            failures.append(message)
        else:
            print("not checked: " + message)
    return path


def png_size(path):
    with open(path, "rb") as f:
        header = f.read(24)
    check(header[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG")
    return struct.unpack(">II", header[16:24])


def check_tree(prefix, source_dir):
    share = os.path.join(prefix, "share")
    program = os.path.join(prefix, "bin", "sentrel")
    check(os.access(program, os.X_OK), "bin/sentrel is missing or not executable")

    launcher = os.path.join(share, "applications", APP_ID + ".desktop")
    if check(os.path.isfile(launcher), f"no launcher {launcher}"):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(launcher)
        keys = entry["Desktop Entry"]
        for key, value in {"Type": "Application", "Name": "Sentrel", "Exec": "sentrel", "Icon": "sentrel",
                           "Categories": "Utility;Archiving;", "StartupNotify": "true"}.items():
            check(keys.get(key) == value, f"launcher: {key}={keys.get(key)!r}, expected {value!r}")
        check(keys.get("Comment"), "launcher: no Comment")
        validator = tool("desktop-file-validate", "desktop-file-utils")
        if validator:
            result = run([validator, launcher])
            check(result.returncode == 0 and not result.stdout.strip(), f"desktop-file-validate: {result.stdout}")

    icons = os.path.join(share, "icons", "hicolor")
    check(os.path.isfile(os.path.join(icons, "scalable", "apps", "sentrel.svg")), "no scalable icon")
    sizes = sorted(int(name[len("sentrel-"):-len(".png")]) for name in os.listdir(os.path.join(source_dir, "data", "icons")))
    check(len(sizes) >= 8, f"only {sizes} PNG renditions in the sources")
    for size in sizes:
        png = os.path.join(icons, f"{size}x{size}", "apps", "sentrel.png")
        if check(os.path.isfile(png), f"no {size}x{size} icon"):
            check(png_size(png) == (size, size), f"{png} is {png_size(png)}, not {size}x{size}")

    metainfo = os.path.join(share, "metainfo", APP_ID + ".metainfo.xml")
    if check(os.path.isfile(metainfo), f"no AppStream file {metainfo}"):
        component = ET.parse(metainfo).getroot()
        check(component.findtext("id") == APP_ID, "AppStream id differs from the launcher's name")
        launchable = component.find("launchable")
        check(launchable is not None and launchable.text == APP_ID + ".desktop", "AppStream launchable")
        check(component.findtext("summary"), "AppStream summary")
        check(component.find("description/p") is not None, "AppStream description")
        check(component.find("screenshots/screenshot/image") is not None, "AppStream screenshot")
        check(component.find("content_rating") is not None, "AppStream content rating")
        validator = tool("appstreamcli", "appstream")
        if validator:
            result = run([validator, "validate", "--no-net", metainfo])
            check(result.returncode == 0, f"appstreamcli validate: {result.stdout}")


def check_package(build_dir, workdir):
    if not (tool("cpack", "cmake") and tool("dpkg-deb", "dpkg") and tool("dpkg-shlibdeps", "dpkg-dev")):
        return
    result = run(["cpack", "-G", "DEB", "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", workdir])
    debs = [f for f in os.listdir(workdir) if f.startswith("sentrel_") and f.endswith(".deb")]
    if not check(result.returncode == 0 and len(debs) == 1, f"cpack made {debs}: {result.stdout[-2000:]}"):
        return
    deb = os.path.join(workdir, debs[0])
    fields = {}
    for field in ("Package", "Depends", "Recommends", "Architecture"):
        fields[field] = run(["dpkg-deb", "-f", deb, field]).stdout.strip()
    check(fields["Package"] == "sentrel", f"package name {fields['Package']!r}")
    depends = fields["Depends"]
    # shlibdeps found the libraries; the platform plugin is named by hand.
    for needed in ("libqt6widgets6", "libqt6dbus6", "libcanberra0", "libmount1", "libc6", "qt6-qpa-plugins"):
        check(needed in depends, f"Depends lacks {needed}: {depends}")
    check("sound-theme-freedesktop" in fields["Recommends"], f"Recommends: {fields['Recommends']!r}")
    contents = run(["dpkg-deb", "-c", deb]).stdout
    for path in ("./usr/bin/sentrel", f"./usr/share/applications/{APP_ID}.desktop",
                 f"./usr/share/metainfo/{APP_ID}.metainfo.xml", "./usr/share/icons/hicolor/scalable/apps/sentrel.svg",
                 "./usr/share/icons/hicolor/256x256/apps/sentrel.png"):
        check(path in contents, f"the package lacks {path}")
    check("/include/" not in contents and "gtest" not in contents.lower(), "the package holds build-only files")


def main():
    build_dir, source_dir = map(os.path.abspath, sys.argv[1:3])
    with tempfile.TemporaryDirectory(prefix="sentrel-install-") as workdir:
        prefix = os.path.join(workdir, "prefix", "usr")
        result = run(["cmake", "--install", build_dir, "--prefix", prefix])
        if check(result.returncode == 0, f"cmake --install failed: {result.stdout}"):
            check_tree(prefix, source_dir)
        package_dir = os.path.join(workdir, "package")
        os.makedirs(package_dir)
        check_package(build_dir, package_dir)
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
