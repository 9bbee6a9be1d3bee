#!/usr/bin/env bash
# Installs what the Windows build and its tests under Wine need: the MinGW-w64 cross compiler
# (posix thread model, for std::thread), Wine, the MinGW zlib, and the Debian source entries that
# `apt-get source` needs to fetch the OpenCV and ZeroMQ sources (no MinGW build of either is
# packaged). Installs only what is missing, so a second run does nothing and needs no network.
# apt-get runs under flock on /tmp/apt.lock, so parallel jobs never run two at once.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  # Wine's 64-bit loader; the X libraries it loads at run time for windows and input.
  wine64 libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxinerama1 libxcomposite1
  # apt-get source unpacks with dpkg-source and checks signatures with gpgv.
  dpkg-dev gpgv xz-utils
)
source_list=/etc/apt/sources.list.d/depth-viewer-deb-src.sources

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "install-windows-deps: not root; run this script as root" >&2
    exit 1
  fi
  as_root=(sudo)
fi
apt_locked() { "${as_root[@]}" flock /tmp/apt.lock apt-get "$@"; }

# Writes a deb-src twin of every Debian archive entry (deb822 files and one-line lists), so that
# the source packages come from the same suites, mirrors and keys as the binaries.
write_source_entries() {
  local entries
  entries=$(
    for file in /etc/apt/sources.list.d/*.sources; do
      [[ -f $file && $file != "$source_list" ]] || continue
      awk 'BEGIN { RS = ""; ORS = "\n\n" }
           /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ && /URIs:[^\n]*debian/ &&
           !/(^|\n)Enabled: *no/ {
             sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [[ -f $file ]] || continue
      awk '$1 == "deb" && /debian/ {
             $1 = ""; options = ""
             if ($2 ~ /^\[/) { options = $2; $2 = "" }
             n = split($0, f, " "); printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", f[1], f[2]
             for (i = 3; i <= n; i++) printf " %s", f[i]
             if (options ~ /signed-by=/) { sub(/.*signed-by=/, "", options); sub(/[ \]].*/, "", options)
               printf "\nSigned-By: %s", options }
             printf "\n\n" }' "$file"
    done
  )
  if [[ -z $entries ]]; then
    echo "install-windows-deps: no Debian archive entry in /etc/apt/sources.list* to mirror as deb-src" >&2
    exit 1
  fi
  printf '%s\n' "$entries" | "${as_root[@]}" tee "$source_list" >/dev/null
  echo "install-windows-deps: wrote $source_list"
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

# Sources are known once apt has an index for them; showsrc answers from the local lists only.
need_update=0
if ! apt-cache showsrc zeromq3 2>/dev/null | grep -q '^Package: zeromq3'; then
  [[ -f $source_list ]] || write_source_entries
  need_update=1
fi
[[ ${#missing[@]} -gt 0 ]] && need_update=1

if [[ $need_update -eq 0 ]]; then
  echo "install-windows-deps: all ${#packages[@]} packages and the source index present"
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
apt_locked update
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "install-windows-deps: installing ${missing[*]}"
  apt_locked install -y --no-install-recommends "${missing[@]}"
fi
if ! apt-cache showsrc zeromq3 2>/dev/null | grep -q '^Package: zeromq3'; then
  echo "install-windows-deps: apt knows no source package zeromq3 after adding $source_list" >&2
  exit 1
fi
