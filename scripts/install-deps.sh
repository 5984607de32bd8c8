#!/usr/bin/env bash
# Installs what HLX needs to build and test (Debian packages). Safe to run again: it only
# installs what is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libicu-dev libpugixml-dev libsqlite3-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          # the command line and its JSON output; the e2e tests check that JSON against its schema
          libcli11-dev nlohmann-json3-dev python3-jsonschema
          # spell checking of translations, with the dictionaries the tests use
          libhunspell-dev hunspell-de-de hunspell-en-us
          # the rules CI enforces (format) and the schemas the golden files are validated with
          clang-format libxml2-utils
          # the translators' tools the XLIFF and PO exports are checked with: msgfmt, pocount;
          # po2tmx writes the TMX of another tool that the TMX tests merge
          gettext translate-toolkit
          # the desktop program: Qt 6 Widgets and Qt Test, the offscreen platform the GUI tests
          # run on, and fonts so that screenshots show text (Latin and the CJK of the example)
          qt6-base-dev qt6-qpa-plugins fonts-dejavu-core fonts-noto-cjk)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
