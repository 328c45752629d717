# cmake --install lays out bin/updpack and share/updpack/updpack-stub.exe,
# and the installed tool builds a package with that stub and no --stub.
# Run with the tool and its build folder: bash install.bash TOOL BUILD_DIR.
. "$(dirname "$0")/common.bash"

BUILD=${2:?usage: bash install.bash TOOL BUILD_DIR}
stub_file=$(sed -n 's/^UPDPACK_STUB_FILE:FILEPATH=//p' "$BUILD/CMakeCache.txt")

cmake --install "$BUILD" --prefix "$WORK/prefix" >install.log 2>&1 ||
  fail "cmake --install: $(cat install.log)"
[ -x prefix/bin/updpack ] || fail "bin/updpack is installed"
run_tool --version
[ "$("$WORK/prefix/bin/updpack" --version)" = "$(cat "$OUT")" ] || fail "the installed tool is this one"
if [ -f "$stub_file" ]; then
  expect_same_bytes "$stub_file" prefix/share/updpack/updpack-stub.exe "the stub is installed"
else
  # No stub built here: the layout is checked with a stand-in.
  [ ! -e prefix/share/updpack/updpack-stub.exe ] || fail "no stub to install"
  mkdir -p prefix/share/updpack
  make_stub prefix/share/updpack/updpack-stub.exe
fi

mkdir old new
printf 'new' >new/app.exe
prefix/bin/updpack diff old new --build update.exe >"$OUT" 2>"$ERR"
RC=$?
expect_rc 0 "build with the installed stub"
# The package begins with the installed stub (its properties filled in),
# its texts and the archive right after it.
size=$(stat -c %s prefix/share/updpack/updpack-stub.exe)
cmp -s -n 2 prefix/share/updpack/updpack-stub.exe update.exe ||
  fail "the package begins with the installed stub"
prefix/bin/updpack list update.exe >"$OUT" 2>"$ERR"
[ "$(manifest_end update.exe)" -gt "$size" ] || fail "the manifest follows the installed stub"
expect_contains "$OUT" "archive start: $(($(manifest_end update.exe) + 1))" "the archive follows the manifest"

finish
