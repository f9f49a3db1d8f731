#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; quick when
# everything is already there.
set -euo pipefail
PKGS=(cmake g++ ninja-build pkg-config make
      libasio-dev libpugixml-dev libzip-dev libsodium-dev libicu-dev libfmt-dev
      libgtest-dev libgmock-dev libbenchmark-dev zip unzip
      clang libclang-rt-14-dev
      postgresql libpq-dev
      qt6-base-dev qt6-translations-l10n libxcb1-dev xvfb xauth xdotool x11-utils x11-apps fonts-dejavu-core openbox
      libreoffice-writer libreoffice-calc libreoffice-dev libreoffice-l10n-fr hunspell-fr)
if [[ "${KUP_NO_OFFICE:-0}" == 1 ]]; then
  PKGS=("${PKGS[@]/libreoffice-*}")
fi
missing=()
for p in "${PKGS[@]}"; do
  [[ -z "$p" ]] && continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
