#!/usr/bin/env bash
# The installed packer, as a patch author gets it: installs the build into an
# empty prefix, packs the installed demo patch folder with the stubs that came
# with the packer (found relative to the packer itself) for both
# architectures, moves the prefix and packs again, takes the stubs away and
# expects the message that says where the packer looked. Then makes the
# release archive with CPack and checks what it holds. With --wine the packer
# is the Windows build of architecture ARCH (x86 or x64), run under Wine.
#
#   install_test.sh --cmake CMAKE --cpack CPACK --build DIR --work DIR
#                   --version VERSION [--wine WINE_RUN --arch ARCH] [--needs STUB]...
# Exits 77 (skipped) while a --needs stub has not been built.
set -u
source "$(dirname "$0")/lib.sh"

cmake=cmake cpack=cpack build= work= version= wine= arch= needs=()
read_options needs cmake cpack build work version wine arch -- "$@"
own_arch=${arch:-x64}

for stub in "${needs[@]}"; do
  if [ ! -f "$stub" ]; then
    echo "SKIP: $stub is not built yet (build the win32 and win64 presets first)"
    exit 77
  fi
done

enter_empty_folder "$work"
exe= archive=tar.gz
if [ -n "$wine" ]; then
  exe=.exe archive=zip
  use_private_wine_prefix
fi

echo "== install"
"$cmake" --install "$build" --prefix "$work/prefix" >install.log 2>&1 || { cat install.log; fail "cmake --install failed"; }
for f in "bin/briskopack$exe" share/briskopatch/stubs/x86/briskopatch-stub.exe \
  share/briskopatch/stubs/x64/briskopatch-stub.exe share/briskopatch/demo/script.txt \
  share/briskopatch/demo/background.bmp share/briskopatch/demo/icon.ico share/briskopatch/demo/version.txt \
  share/briskopatch/demo/payload/data_patch.dat \
  share/briskopatch/demo/payload/readme_patch.txt share/doc/briskopatch/README.md \
  share/doc/briskopatch/docs/authoring.md; do
  [ -f "prefix/$f" ] || fail "the install lacks $f"
done
if [ -n "$wine" ]; then
  # A packer that this Wine cannot run (a 32-bit one without 32-bit Wine)
  # makes the whole test skipped.
  "$wine" "prefix/bin/briskopack.exe" --version >/dev/null 2>wine-probe.txt
  [ $? = 77 ] && { cat wine-probe.txt; exit 77; }
fi
cp -r prefix/share/briskopatch/demo samples-copy
cp prefix/share/briskopatch/stubs/x86/briskopatch-stub.exe stub-x86.exe
cp prefix/share/briskopatch/stubs/x64/briskopatch-stub.exe stub-x64.exe

# packer PREFIX ARGS...: runs PREFIX's packer, natively with nothing else on
# PATH; output in out.txt and err.txt.
packer() {
  local prefix=$1
  shift
  if [ -n "$wine" ]; then
    capture "$wine" "$prefix/bin/briskopack.exe" "$@"
  else
    capture env PATH="$work/$prefix/bin" briskopack "$@"
  fi
}

packer prefix --version || fail "--version: $(cat err.txt)"
for arch in x86 x64; do
  grep -q "^$arch stub .*prefix.share.briskopatch.stubs.$arch.briskopatch-stub.exe, version $version\$" out.txt ||
    fail "--version does not name the installed $arch stub and its version $version: $(cat out.txt)"
done

# build_with PREFIX ARCH OUT: the installed patch folder packed without --stub.
build_with() {
  local arch_option=()
  [ "$2" = x64 ] && arch_option=(--arch x64)
  packer "$1" build samples-copy -o "$3" "${arch_option[@]}"
}

echo "== build without --stub"
for arch in x86 x64; do
  packer prefix build --stub "stub-$arch.exe" -o "named-$arch.exe" samples-copy || fail "build --stub: $(cat err.txt)"
  build_with prefix $arch "default-$arch.exe" || fail "build ($arch) without --stub: $(cat err.txt)"
  cmp -s "default-$arch.exe" "named-$arch.exe" || fail "the installed $arch stub is not the one build uses"
  packer prefix list "default-$arch.exe" || fail "list of the $arch build: $(cat err.txt)"
  case $arch in x86) kind='PE32,' ;; x64) kind='PE32+,' ;; esac
  grep -q "default-$arch.exe: $kind" out.txt || fail "the $arch build is no $kind image: $(head -1 out.txt)"
  grep -q '^  0  data_patch.dat' out.txt || fail "list of the $arch build lacks the demo payload"
  grep -qx 'icon: 256 x 256 32 bits (PNG), 48 x 48 32 bits (PNG), 32 x 32 32 bits (PNG), 16 x 16 32 bits (PNG)' out.txt ||
    fail "the $arch build lacks the demo's icon: $(grep '^icon' out.txt)"
  grep -qx '  ProductName: ブリスコ物語' out.txt || fail "the $arch build lacks the demo's version record"
done
cmp -s default-x86.exe default-x64.exe && fail "--arch x64 built the same installer as the default"

echo "== a moved prefix"
mv prefix moved
for arch in x86 x64; do
  build_with moved $arch "moved-$arch.exe" || fail "build ($arch) from the moved prefix: $(cat err.txt)"
  cmp -s "moved-$arch.exe" "named-$arch.exe" || fail "the moved prefix built another $arch installer"
done

echo "== no stubs installed"
rm -r moved/share/briskopatch/stubs
for arch in x86 x64; do
  build_with moved $arch "none-$arch.exe"
  rc=$?
  [ $rc = 3 ] || fail "build ($arch) without stubs: exit $rc, expected 3"
  grep -q "^briskopack: looked for the $arch stub at .*moved.share.briskopatch.stubs.$arch.briskopatch-stub.exe and found none; name one with --stub" err.txt ||
    fail "build ($arch) without stubs does not say where it looked: $(cat err.txt)"
  [ ! -e "none-$arch.exe" ] || fail "build ($arch) without stubs wrote its output"
done
packer moved --version
grep -q "^x86 stub (default): none at .*moved.share.briskopatch.stubs.x86" out.txt ||
  fail "--version without stubs: $(cat out.txt)"
packer moved build --stub stub-x64.exe -o override.exe samples-copy || fail "--stub without stubs: $(cat err.txt)"
cmp -s override.exe named-x64.exe || fail "--stub did not override"
packer moved build --stub stub-x64.exe --arch x64 -o both.exe samples-copy
[ $? = 4 ] || fail "--stub with --arch is not refused"
packer moved build --arch arm64 -o arm.exe samples-copy
[ $? = 4 ] || fail "an unknown --arch is not refused"

echo "== release archive"
"$cpack" --config "$build/CPackConfig.cmake" -B "$work/packages" >cpack.log 2>&1 || { cat cpack.log; fail "cpack failed"; }
name=briskopatch-$version-$([ -n "$wine" ] && echo "windows-$own_arch" || echo linux-x86_64)
"$cmake" -E tar tf "packages/$name.$archive" >archive.txt 2>&1 || fail "cannot read $name.$archive"
for f in "bin/briskopack$exe" share/briskopatch/stubs/x86/briskopatch-stub.exe \
  share/briskopatch/stubs/x64/briskopatch-stub.exe share/briskopatch/demo/script.txt share/doc/briskopatch/README.md \
  share/doc/briskopatch/docs/authoring.md; do
  grep -qx "$name/$f" archive.txt || fail "$name.$archive lacks $f"
done
if [ -z "$wine" ]; then
  mkdir unpacked && tar -xzf "packages/$name.tar.gz" -C unpacked
  packer "unpacked/$name" build samples-copy -o unpacked.exe || fail "the unpacked archive's packer: $(cat err.txt)"
  cmp -s unpacked.exe named-x86.exe || fail "the unpacked archive built another installer"
fi

[ $status = 0 ] && echo "all install checks passed"
exit $status
