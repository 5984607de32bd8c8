#!/bin/sh
# The SDK as a third party meets it. Usage:
#   sdk-package.sh BUILD-DIR SOURCE-DIR CMAKE CXX GENERATOR MAKE-PROGRAM BUILD-TYPE
# Installs BUILD-DIR into a scratch prefix, builds examples/sdk-package against that prefix
# alone (find_package(HLX)) and a small tool through pkg-config, lists the package in fresh
# settings and runs the installed hlx -I on the example's project.
set -eu
build=$1 src=$2 cmake=$3 cxx=$4 generator=$5 make=$6 type=${7:-Debug}
top=$(mktemp -d "${TMPDIR:-/tmp}/hlx-sdk.XXXXXX")
trap 'rm -rf "$top"' EXIT
prefix=$top/prefix

fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
# run LOG COMMAND...: runs COMMAND, showing its output only when it fails.
run() {
  log=$top/$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log"; fail "$*"; }
}

# The layout of an installation.
run install.log "$cmake" --install "$build" --prefix "$prefix"
for f in bin/hlx lib/libqem.so lib/hlx/packages/ofm140.fpl lib/hlx/packages/rc140.fpl \
         include/hlx/qem.h include/hlx/hlx.h include/hlx/QEMPluginKit.h include/hlx/translator/QEMPackages.h \
         lib/cmake/HLX/HLXConfig.cmake lib/cmake/HLX/HLXPackage.cmake lib/pkgconfig/hlx.pc; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
[ -e "$build/bin/ofm140.fpl" ] || fail "the build tree lost its packages beside hlx"
readelf -d "$prefix/lib/libqem.so" | grep -q 'SONAME.*libqem\.so\.[0-9]' || fail "libqem has no versioned SONAME"
if [ -f "$src/docs/hlx.1" ]; then
  [ -f "$prefix/share/man/man1/hlx.1" ] || fail "the man page is not installed"
fi
if [ -f "$src/scripts/hlx-completion.bash" ]; then
  [ -f "$prefix/share/bash-completion/completions/hlx" ] || fail "the completion is not installed"
fi

# The example package, from the installed SDK only.
run configure.log "$cmake" -S "$src/examples/sdk-package" -B "$top/pkg" -G "$generator" \
  -DCMAKE_MAKE_PROGRAM="$make" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE="$type" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
run build.log "$cmake" --build "$top/pkg"
run install-package.log "$cmake" --install "$top/pkg"
package=$prefix/lib/hlx/packages/keyvalue.fpl
[ -f "$package" ] || fail "the example package did not install beside the default ones"

# A tool through pkg-config.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
flags=$(pkg-config --cflags --libs hlx) || fail "pkg-config --cflags --libs hlx"
include=$(printf '%s\n' $flags | sed -n 's/^-I//p' | head -n 1)
[ -n "$include" ] && [ "$(cd "$include" && pwd -P)" = "$(cd "$prefix/include/hlx" && pwd -P)" ] ||
  fail "hlx.pc names no -I for $prefix/include/hlx: $flags"
printf '%s\n' $flags | grep -qx -- -lqem || fail "hlx.pc does not link libqem: $flags"
# shellcheck disable=SC2086
run tool.log "$cxx" -o "$top/register-packages" "$src/tests/sdk/register-packages.cpp" $flags \
  "-Wl,-rpath,$prefix/lib"

# The installed hlx with the package on the example's project; the memory is the repository
# beside hlx.
export HLX_REGISTRY="$top/registry.db"
project=$top/project
cp -R "$src/examples/sdk-package/project" "$project"
cp "$project/greetings.tmx" "$prefix/bin/default.tmx"
run register.log "$top/register-packages" "$package"
out=$("$prefix/bin/hlx" -I "$project/greetings.hlx" 2>&1) || fail "hlx -I failed: $out"
de=$project/de/src/greetings.kv
[ -s "$de" ] && [ -s "$de.xlf" ] || fail "no German file or notes: $out"
text=$(iconv -f CP1252 -t UTF-8 "$de") || fail "the German file is not in code page 1252"
for line in "title = Grüße" "hello = Hallo, Welt" "farewell = See you soon" "# Texts of a greeting card program."; do
  printf '%s\n' "$text" | grep -qxF "$line" || fail "no line '$line' in $de:
$text"
done
ja=$(iconv -f CP932 -t UTF-8 "$project/ja/src/greetings.kv") || fail "the Japanese file is not in code page 932"
printf '%s\n' "$ja" | grep -qxF "hello = こんにちは、世界" || fail "untranslated Japanese file:
$ja"

# Without listed packages the installed hlx loads its default ones from its package folder.
export HLX_REGISTRY="$top/defaults.db"
cp -R "$src/examples/demo" "$top/demo"
out=$("$prefix/bin/hlx" -I "$top/demo/demo.hlx" 2>&1) || fail "hlx -I on the demo failed: $out"
[ -s "$top/demo/de/src/MainForm.ofm" ] && [ -s "$top/demo/de/src/Resources.rc" ] ||
  fail "the default packages were not loaded: $out"
exit 0
