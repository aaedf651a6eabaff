#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Does nothing when every package is already present.
#   scripts/install-deps.sh           the Linux build
#   scripts/install-deps.sh windows   the cross build for Windows and Wine to test it
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config make
  libwxgtk3.2-dev libgtk-3-dev
  libcurl4-openssl-dev
  libcpp-httplib-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-wqy-microhei imagemagick
  curl python3
  gettext locales groff-base desktop-file-utils
  clang-14 libclang-rt-14-dev clang-format
  libsqlite3-dev
  libxml2-utils librsvg2-bin
  dpkg-dev file lintian appstream
  python3
  libexpat1-dev zlib1g-dev gpsbabel
  libzip-dev  # zip archives, read in place for import
  libsystemd-dev dbus openssl
  systemd  # systemd-analyze verify, for the units `strivo-cli schedule` writes
)
if [[ "${1:-}" == "windows" ]]; then
  # Only the cross build: none of the Linux libraries above are linked into it.
  # Xvfb, a CJK font and ImageMagick for the window under Wine and its screenshot.
  # dpkg-dev, tcl and libsqlite3-dev (its version) to make SQLite's single-file
  # source from Debian's source package (scripts/sqlite-amalgamation.sh);
  # libexpat1-dev names the version of expat whose source the Windows build
  # compiles (scripts/expat-source.sh), libzip-dev that of libzip
  # (scripts/libzip-source.sh); zlib comes built for MinGW.
  packages=(cmake ninja-build make g++-mingw-w64-x86-64-posix wine64 googletest zip
            xvfb xauth fonts-wqy-microhei imagemagick curl
            dpkg-dev tcl gcc libsqlite3-dev libexpat1-dev libz-mingw-w64-dev libzip-dev)
fi
# Node and npm run Garmin's FIT SDK in the FIT tests. Where they came from
# elsewhere (NodeSource's nodejs holds npm), Debian's npm is not added: it
# would fight that nodejs.
if [[ "${1:-}" != "windows" ]] && ! { command -v node && command -v npm; } >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
