# Harness of the end-to-end tests of the Windows program: Wine on a virtual
# X display, driven by wintool. Sourced by setup.sh, teardown.sh and every
# test_*.sh.
#
# Environment (CTest sets it, see CMakeLists.txt beside this file):
#   UPDPACK_TOOL        the native updpack tool (packs folders, builds packages)
#   UPDPACK_STUB        the Windows program image, updpack-stub.exe
#   WINTOOL             wintool.exe, cross-built from wintool.cpp
#   WINE_E2E_STATE      folder that holds the shared environments of one run
#                       (X displays and Wine prefixes made by setup.sh, one
#                       in each subfolder named in e2e_environments)
#   WINE_E2E_ENVIRONMENTS  their names, "a b"
#   CTEST_RESOURCE_GROUP_0_WINE_PREFIX
#                       which of them the test has to itself ("id:b,...";
#                       without it, the first)
#   WINE_E2E_ARTIFACTS  folder for screenshots and logs
# A test started on its own (no live environment in WINE_E2E_STATE) makes a
# private one and removes it when it ends.
# shellcheck disable=SC2034  # the tests use the names defined here

set -u

readonly E2E_SKIP=77

e2e_log() { printf '%s\n' "$*" >&2; }

# Ends the test as skipped, with the reason.
e2e_skip() {
  e2e_log "SKIPPED: $*"
  exit "$E2E_SKIP"
}

# Ends the test as failed, with a screenshot of the moment.
e2e_fail() {
  e2e_log "FAILED: $*"
  if [ -n "${DISPLAY:-}" ] && [ -n "${E2E_ARTIFACTS:-}" ]; then
    e2e_screenshot failure >/dev/null 2>&1 || true
    e2e_log "windows: $(e2e_wintool list 2>/dev/null | tr '\n' '|')"
    # A box of the same title may be another one than the step awaited.
    e2e_log "the box says: $(e2e_wintool text "$E2E_BOX_TITLE" 2>/dev/null | tr '\n' '|')"
  fi
  # A rare failure is understood from the program's side too.
  if [ -n "${E2E_PACKAGE_PID:-}" ]; then
    if kill -0 "$E2E_PACKAGE_PID" 2>/dev/null; then
      e2e_log "the package is still running"
    else
      e2e_log "the package has ended"
    fi
    [ -f "${E2E_PACKAGE_LOG:-}" ] &&
      e2e_log "its output: $(tail -c 600 "$E2E_PACKAGE_LOG" | tr '\n' '|')"
  fi
  exit 1
}

e2e_expect_eq() { # DESCRIPTION EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    e2e_log "expected: $(printf '%s' "$2" | od -An -c | tr -s ' ' | head -c 600)"
    e2e_log "actual:   $(printf '%s' "$3" | od -An -c | tr -s ' ' | head -c 600)"
    e2e_fail "$1"
  fi
}

# The wine64 loader: Debian installs it outside PATH.
e2e_find_wine() {
  local candidate
  for candidate in "${WINE:-}" "$(command -v wine64 2>/dev/null)" \
    /usr/lib/wine/wine64 /usr/lib64/wine/wine64 /opt/wine-stable/bin/wine64; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      printf '%s\n' "$candidate"
      return 0
    fi
  done
  return 1
}

e2e_find_wineserver() {
  local candidate
  for candidate in "$(command -v wineserver 2>/dev/null)" \
    /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      printf '%s\n' "$candidate"
      return 0
    fi
  done
  return 1
}

# The real ImageMagick, not a stand-in that an environment may put first.
e2e_find_convert() {
  local candidate
  for candidate in /usr/bin/convert-im6.q16 /usr/bin/convert \
    "$(command -v convert 2>/dev/null)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      printf '%s\n' "$candidate"
      return 0
    fi
  done
  return 1
}

# The environment of every Wine program: the locale of the run. It goes only
# to Wine (through env), so the shell's own locale stays as it is.
e2e_wine_env() {
  E2E_WINE_ENV=(LC_ALL="${E2E_LC_ALL:-C.UTF-8}")
  # A test may turn on a Wine debug channel for the package, e.g. +debugstr.
  [ -z "${E2E_WINE_DEBUG:-}" ] || E2E_WINE_ENV+=(WINEDEBUG="$E2E_WINE_DEBUG")
  [ -z "${E2E_LOCPATH:-}" ] || E2E_WINE_ENV+=(LOCPATH="$E2E_LOCPATH")
}

e2e_wine() {
  e2e_wine_env
  env "${E2E_WINE_ENV[@]}" "$WINE" "$@"
}

# e2e_hold WINDOWS_PATH MS WHAT: wintool holds the file or folder open
# without sharing for MS milliseconds, in the background (its pid in
# E2E_HOLDER and E2E_HELPER_PIDS); returns once it holds, fails naming WHAT
# when it cannot.
e2e_hold() {
  e2e_wine_env
  for _ in 1 2 3; do
    env "${E2E_WINE_ENV[@]}" "$WINE" "$WINTOOL" hold "$1" "$2" \
      >"$E2E_WORK/hold.log" 2>&1 &
    E2E_HOLDER=$!
    E2E_HELPER_PIDS=$E2E_HOLDER
    # Wine may take seconds to start a program on a loaded machine.
    for _ in $(seq 300); do
      grep -q held "$E2E_WORK/hold.log" && return 0
      # Ended without a word: Wine's failure (see e2e_wintool); again.
      kill -0 "$E2E_HOLDER" 2>/dev/null || [ -s "$E2E_WORK/hold.log" ] || continue 2
      sleep 0.1
    done
    break
  done
  e2e_fail "cannot hold $3: $(cat "$E2E_WORK/hold.log")"
}

# Ends the holder of e2e_hold, which lets its file go as it ends.
e2e_release() {
  kill "$E2E_HOLDER" 2>/dev/null
  wait "$E2E_HOLDER" 2>/dev/null
  E2E_HELPER_PIDS=
}

# Skips when something the tests need is missing.
e2e_require_tools() {
  [ -n "${UPDPACK_TOOL:-}" ] && [ -x "${UPDPACK_TOOL}" ] ||
    e2e_skip "the native updpack tool is missing (UPDPACK_TOOL='${UPDPACK_TOOL:-}'); configure with -DUPDPACK_TOOL=/path/to/build/native/tools/updpack after building it"
  [ -n "${UPDPACK_STUB:-}" ] && [ -f "${UPDPACK_STUB}" ] ||
    e2e_skip "the program image is missing (UPDPACK_STUB='${UPDPACK_STUB:-}'); build the updpack-stub target"
  [ -n "${WINTOOL:-}" ] && [ -f "${WINTOOL}" ] ||
    e2e_skip "wintool.exe is missing (WINTOOL='${WINTOOL:-}'); build the wintool target"
  e2e_find_wine >/dev/null || e2e_skip "wine64 is not installed"
  e2e_find_wineserver >/dev/null || e2e_skip "wineserver is not installed"
  command -v Xvfb >/dev/null || e2e_skip "Xvfb is not installed (package xvfb)"
  command -v import >/dev/null || e2e_skip "ImageMagick's import is not installed (package imagemagick)"
  e2e_find_convert >/dev/null || e2e_skip "ImageMagick's convert is not installed (package imagemagick)"
  command -v compare >/dev/null || e2e_skip "ImageMagick's compare is not installed (package imagemagick)"
}

# --- the shared environment: X display, locale, Wine prefix ----------------

# The shared environments of a run, by name: CTest gives each test one of
# them to itself, so that tests can run at once, each on its own display
# and prefix.
e2e_environments() { printf '%s\n' ${WINE_E2E_ENVIRONMENTS:-a}; }

# Starts Xvfb, makes the Russian locale and a fresh Wine prefix, and writes
# the variables that the tests need into STATE/env.sh.
e2e_setup_environment() { # STATE
  local state=$1 started=$SECONDS
  mkdir -p "$state"
  local root
  root=$(mktemp -d "${TMPDIR:-/tmp}/updpack-wine.XXXXXX") || return 1
  local wine wineserver
  wine=$(e2e_find_wine)
  wineserver=$(e2e_find_wineserver)

  # The X server picks a free display itself and writes its number to fd 3
  # once it accepts connections.
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$root/display" </dev/null >"$root/xvfb.log" 2>&1 &
  local xvfb_pid=$!
  local tries=0
  while ! grep -q '[0-9]' "$root/display" 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
      e2e_log "Xvfb did not start: $(cat "$root/xvfb.log" 2>/dev/null)"
      kill "$xvfb_pid" 2>/dev/null
      return 1
    fi
    sleep 0.05
  done
  local display
  display=":$(tr -dc '0-9' <"$root/display")"

  # The package is made for a Windows-1251 system: run Wine in a Russian
  # locale. Debian ships the locale's source; compile it privately when the
  # system has no compiled copy.
  local locpath="" lc_all=C.UTF-8
  if locale -a 2>/dev/null | grep -qix 'ru_RU.utf-\?8'; then
    lc_all=ru_RU.UTF-8
  elif mkdir -p "$root/locale" &&
    localedef -i ru_RU -f UTF-8 "$root/locale/ru_RU.UTF-8" \
    >"$root/localedef.log" 2>&1 ||
    [ -f "$root/locale/ru_RU.UTF-8/LC_CTYPE" ]; then
    locpath="$root/locale"
    lc_all=ru_RU.UTF-8
  else
    e2e_log "note: no ru_RU.UTF-8 locale (package locales); Wine runs with its default code page"
  fi

  cat >"$state/env.sh" <<EOF
E2E_ROOT='$root'
E2E_XVFB_PID='$xvfb_pid'
export DISPLAY='$display'
export WINEPREFIX='$root/prefix'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
E2E_LOCPATH='$locpath'
E2E_LC_ALL='$lc_all'
export WINE='$wine'
export WINESERVER='$wineserver'
EOF
  # shellcheck source=/dev/null
  . "$state/env.sh"

  e2e_log "Xvfb on $DISPLAY; creating the Wine prefix in $WINEPREFIX"
  # One server for the whole run keeps every start of a program quick; the
  # registry lives in it, so nothing has to wait for it to write and exit.
  mkdir -p "$WINEPREFIX"
  setsid "$WINESERVER" -p </dev/null >"$root/wineserver.log" 2>&1
  e2e_wine wineboot -i >"$root/wineboot.log" 2>&1 ||
    { e2e_log "wineboot failed: $(cat "$root/wineboot.log")"; return 1; }
  # No window manager runs: Wine manages and draws the windows itself.
  # Otherwise it would wait about 2 s for a manager at every window it hides
  # (each message box, and the end of the program), and the screenshots
  # would show no frames.
  local value
  for value in Managed Decorated; do
    e2e_wine reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /d N /f \
      >>"$root/wineboot.log" 2>&1
  done
  e2e_log "prefix made after $((SECONDS - started)) s"

  local tmp_windows tmp_unix
  tmp_windows=$(e2e_wine cmd /c 'echo %TMP%' 2>/dev/null | tr -d '\r\n')
  tmp_unix=$(e2e_wine winepath.exe -u "$tmp_windows" 2>/dev/null | tr -d '\r\n')
  mkdir -p "$tmp_unix" 2>/dev/null
  tmp_unix=$(realpath -e "$tmp_unix" 2>/dev/null)
  if [ -z "$tmp_windows" ] || [ -z "$tmp_unix" ]; then
    e2e_log "cannot find the Wine TMP folder ('$tmp_windows' -> '$tmp_unix')"
    return 1
  fi
  local acp
  acp=$(e2e_wine "$WINTOOL" acp 2>/dev/null | tr -dc '0-9')
  cat >>"$state/env.sh" <<EOF
E2E_TMP_WINDOWS='$tmp_windows'
E2E_TMP='$tmp_unix'
E2E_ACP='$acp'
EOF
  e2e_log "Wine TMP is $tmp_windows ($tmp_unix); ANSI code page $acp; ready after $((SECONDS - started)) s"
}

# Stops everything that e2e_setup_environment started and removes its files.
e2e_teardown_environment() { # STATE
  local state=$1
  [ -f "$state/env.sh" ] || return 0
  # shellcheck source=/dev/null
  . "$state/env.sh"
  "$WINESERVER" -k >/dev/null 2>&1
  "$WINESERVER" -w >/dev/null 2>&1
  # The number may be stale (an interrupted run, a restarted machine): only
  # an X server under it is ours.
  if e2e_is_xvfb "${E2E_XVFB_PID:-}"; then
    kill "$E2E_XVFB_PID" 2>/dev/null
    wait "$E2E_XVFB_PID" 2>/dev/null
  fi
  if [ -n "${WINE_E2E_ARTIFACTS:-}" ]; then
    mkdir -p "$WINE_E2E_ARTIFACTS/logs/${state##*/}"
    cp "$E2E_ROOT"/*.log "$WINE_E2E_ARTIFACTS/logs/${state##*/}/" 2>/dev/null
  fi
  case "$E2E_ROOT" in
  */updpack-wine.*) rm -rf "$E2E_ROOT" ;;
  esac
  rm -f "$state/env.sh"
}

# True when PID is a running Xvfb.
e2e_is_xvfb() { # PID
  [ -n "$1" ] && [ "$(ps -o comm= -p "$1" 2>/dev/null)" = Xvfb ]
}

# True when STATE holds an environment whose X server still runs.
e2e_environment_live() { # STATE
  [ -f "$1/env.sh" ] || return 1
  e2e_is_xvfb "$(sed -n "s/^E2E_XVFB_PID='\([0-9]*\)'$/\1/p" "$1/env.sh")"
}

# --- one test ---------------------------------------------------------------

# Starts a test: joins the shared environment or makes a private one, makes
# the test's own work folder and clears what earlier runs left in TMP.
e2e_begin() { # NAME
  E2E_TEST=$1${WINE_E2E_LOCALE:+-$WINE_E2E_LOCALE}
  e2e_require_tools
  local state="" id=${CTEST_RESOURCE_GROUP_0_WINE_PREFIX:-}
  id=${id#id:}
  id=${id%%,*}
  [ -z "${WINE_E2E_STATE:-}" ] || state=$WINE_E2E_STATE/${id:-$(e2e_environments | head -1)}
  if [ -z "$state" ] || ! e2e_environment_live "$state"; then
    E2E_PRIVATE_STATE=$(mktemp -d "${TMPDIR:-/tmp}/updpack-wine-state.XXXXXX")
    trap 'e2e_end_private' EXIT
    e2e_setup_environment "$E2E_PRIVATE_STATE" || e2e_fail "cannot set up Wine and Xvfb"
    state=$E2E_PRIVATE_STATE
  fi
  # shellcheck source=/dev/null
  . "$state/env.sh"
  e2e_log "$E2E_TEST on display $DISPLAY, Wine prefix $WINEPREFIX"
  E2E_ARTIFACTS=${WINE_E2E_ARTIFACTS:-$E2E_ROOT/artifacts}
  mkdir -p "$E2E_ARTIFACTS"
  rm -f "$E2E_ARTIFACTS/$E2E_TEST"-*.png
  E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/updpack-wine-$E2E_TEST.XXXXXX")
  E2E_TEMP_FOLDER="$E2E_TMP/VLSFX_QUORIX"
  E2E_PACK_FILE="$E2E_TMP/VLSFX_QUORIX.PACK"
  # WINE_E2E_LOCALE=de_DE runs the test's programs with a Western code page.
  if [ -n "${WINE_E2E_LOCALE:-}" ]; then
    e2e_use_locale "$WINE_E2E_LOCALE"
    E2E_ACP=$(e2e_wintool acp 2>/dev/null | tr -dc '0-9')
  fi
  e2e_clear_tmp
  [ -n "${E2E_PRIVATE_STATE:-}" ] || trap 'e2e_end_shared' EXIT
}

# Makes the locale NAME.UTF-8 (from Debian's sources when the system has
# no compiled copy) the one of every program started from now on.
e2e_use_locale() { # NAME
  local folder="$E2E_ROOT/locale"
  mkdir -p "$folder"
  [ -f "$folder/$1.UTF-8/LC_CTYPE" ] ||
    localedef -i "$1" -f UTF-8 "$folder/$1.UTF-8" >/dev/null 2>&1 ||
    [ -f "$folder/$1.UTF-8/LC_CTYPE" ] || e2e_skip "cannot make the locale $1.UTF-8"
  E2E_LOCPATH=$folder
  E2E_LC_ALL=$1.UTF-8
}

e2e_clear_tmp() {
  rm -rf "$E2E_TEMP_FOLDER" "$E2E_PACK_FILE"
}

# Ends whatever this test started in the shared prefix and removes its files.
e2e_end_test() {
  local pid
  for pid in ${E2E_PACKAGE_PID:-} ${E2E_HELPER_PIDS:-}; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
    fi
  done
  rm -rf "${E2E_WORK:?}"
  e2e_clear_tmp
}

e2e_end_shared() {
  local rc=$?
  e2e_end_test
  exit "$rc"
}

e2e_end_private() {
  local rc=$?
  e2e_end_test
  e2e_teardown_environment "$E2E_PRIVATE_STATE"
  rm -rf "$E2E_PRIVATE_STATE"
  exit "$rc"
}

# --- packages ---------------------------------------------------------------

# Appends one 65-byte install-script record to stdout. SOURCE and TARGET are
# printf formats (\000 is the temporary folder, \001 the program's folder,
# other bytes in octal in Windows-1251), padded with spaces to 16 and 48
# bytes.
e2e_script_record() { # OP SOURCE TARGET
  local op
  printf -v op '\\%03o' "$1"
  # shellcheck disable=SC2059
  printf "$op"
  e2e_script_field "$2" 16
  e2e_script_field "$3" 48
}

e2e_script_field() { # FORMAT SIZE
  local length
  # shellcheck disable=SC2059
  length=$(printf "$1" | wc -c)
  [ "$length" -le "$2" ] || e2e_fail "script field longer than $2 bytes: $1"
  # shellcheck disable=SC2059
  printf "$1"
  printf '%*s' "$(($2 - length))" ''
}

# Packs FOLDER and joins the program image, the archive and the trailer.
e2e_make_package() { # FOLDER PACKAGE.exe [BUILD OPTION...]
  local archive
  archive="$E2E_WORK/$(basename "$2" .exe).pack1"
  "$UPDPACK_TOOL" pack "$1" "$archive" >"$E2E_WORK/pack.log" 2>&1 ||
    e2e_fail "updpack pack failed: $(cat "$E2E_WORK/pack.log")"
  e2e_build_package "$archive" "$2" "${@:3}"
}

# Without options the archive is stored, as the carve-out copies it byte
# by byte (test_compressed.sh builds compressed ones).
e2e_build_package() { # ARCHIVE PACKAGE.exe [BUILD OPTION...]
  local options=("${@:3}")
  [ ${#options[@]} -gt 0 ] || options=(--store)
  mkdir -p "$(dirname "$2")"
  "$UPDPACK_TOOL" build --stub "$UPDPACK_STUB" --archive "$1" -o "$2" "${options[@]}" \
    >"$E2E_WORK/build.log" 2>&1 ||
    e2e_fail "updpack build failed: $(cat "$E2E_WORK/build.log")"
}

# The bytes a run copies out of PACKAGE into the pack file: from the
# position its trailer holds up to the trailer (an unsigned package).
e2e_carved() { # PACKAGE.exe OUT
  local size start
  size=$(stat -c %s "$1")
  start=$(tail -c 4 "$1" | od -An -tu4 | tr -d ' ')
  tail -c +"$start" "$1" | head -c $((size - 4 - start + 1)) >"$2"
}

# The same for ARCHIVE of any bytes, which updpack build refuses unless it
# parses: the trailer holds the position right after the program image
# (IMAGE, the stub unless told; a package made to the base format).
e2e_join_package() { # ARCHIVE PACKAGE.exe [IMAGE]
  local start image=${3:-$UPDPACK_STUB}
  mkdir -p "$(dirname "$2")"
  start=$(($(stat -c %s "$image") + 1))
  {
    cat "$image" "$1"
    # shellcheck disable=SC2059
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((start & 255)) \
      $((start >> 8 & 255)) $((start >> 16 & 255)) $((start >> 24 & 255)))"
  } >"$2" || e2e_fail "cannot write $2"
}

# FOLDER packed as it is and joined to the stub: a package of the base
# format, without a manifest.
e2e_make_base_package() { # FOLDER PACKAGE.exe
  local archive
  archive="$E2E_WORK/$(basename "$2" .exe).pack1"
  "$UPDPACK_TOOL" pack "$1" "$archive" >"$E2E_WORK/pack.log" 2>&1 ||
    e2e_fail "updpack pack failed: $(cat "$E2E_WORK/pack.log")"
  e2e_join_package "$archive" "$2"
}

# Starts the package under Wine in the background, from its own folder,
# with ARGUMENTS on its command line.
# Windows has no hidden dot-files: Wine shows them as ordinary files only
# with ShowDotFiles, set here until the test ends. The test's exit status
# outlives the setting's removal: a failure must not end as a pass.
e2e_show_dot_files() {
  e2e_wine reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f >/dev/null 2>&1 ||
    e2e_fail "cannot set ShowDotFiles"
  if [ -n "${E2E_PRIVATE_STATE:-}" ]; then
    trap 'e2e_hide_dot_files; e2e_end_private' EXIT
  else
    trap 'e2e_hide_dot_files; e2e_end_shared' EXIT
  fi
}

e2e_hide_dot_files() {
  local rc=$?
  e2e_wine reg delete 'HKCU\Software\Wine' /v ShowDotFiles /f >/dev/null 2>&1
  return "$rc"
}

# A path of this side as the Windows program names it (Wine's Z: drive).
e2e_windows_path() { printf 'Z:%s' "${1//\//\\}"; }

e2e_start_package() { # PACKAGE.exe [ARGUMENT...]
  E2E_PACKAGE_LOG="$E2E_WORK/package.log"
  # A /LOG= file of a silent run, as this side names it: written before
  # the run does anything, so its absence tells that the run never began.
  E2E_RUN_LOG=
  local argument
  for argument in "${@:2}"; do
    case "$argument" in
    /[Ll][Oo][Gg]=[Zz]:*)
      E2E_RUN_LOG=${argument#*=[Zz]:}
      E2E_RUN_LOG=${E2E_RUN_LOG//\\//}
      rm -f "$E2E_RUN_LOG"
      ;;
    esac
  done
  e2e_wine_env
  (cd "$(dirname "$1")" && exec env "${E2E_WINE_ENV[@]}" "$WINE" "$@") \
    >"$E2E_PACKAGE_LOG" 2>&1 &
  E2E_PACKAGE_PID=$!
  E2E_PACKAGE_ARGS=("$@")
  E2E_PACKAGE_SHOWN=
}

# True when the package has ended with exit code 1 before any window of it
# was seen and without a word: Wine's failure to start it (see
# e2e_wintool), never the program's own (its failures show a box or write
# their log). Reaps the package then.
e2e_package_never_started() {
  [ -z "$E2E_PACKAGE_SHOWN" ] && [ -n "${E2E_PACKAGE_PID:-}" ] || return 1
  ! kill -0 "$E2E_PACKAGE_PID" 2>/dev/null && [ ! -s "$E2E_PACKAGE_LOG" ] || return 1
  local status=0
  wait "$E2E_PACKAGE_PID" || status=$?
  E2E_PACKAGE_PID=
  [ "$status" -eq 1 ]
}

# Waits for the package to end (at most TIMEOUT seconds) and sets E2E_EXIT
# to its exit code. Not for a subshell: the package is this shell's child.
e2e_wait_package() { # [TIMEOUT]
  local limit=$((${1:-30} * 20)) tries=0
  while kill -0 "$E2E_PACKAGE_PID" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -le "$limit" ] || e2e_fail "the package did not end within ${1:-30} s"
    sleep 0.05
  done
  E2E_EXIT=0
  wait "$E2E_PACKAGE_PID" || E2E_EXIT=$?
  E2E_PACKAGE_PID=
  # A silent run with a log that ended with 1, wrote no log and said
  # nothing never began (Wine's failure to start it, see e2e_wintool): it
  # starts again, twice at most.
  if [ "$E2E_EXIT" -eq 1 ] && [ -n "$E2E_RUN_LOG" ] && [ ! -e "$E2E_RUN_LOG" ] &&
    [ ! -s "$E2E_PACKAGE_LOG" ] && [ "${E2E_RESTARTS:-0}" -lt 2 ]; then
    E2E_RESTARTS=$((${E2E_RESTARTS:-0} + 1))
    e2e_log "note: Wine ended the silent run with 1 before its log (try $E2E_RESTARTS)"
    e2e_start_package "${E2E_PACKAGE_ARGS[@]}"
    e2e_wait_package "$@"
    return
  fi
  E2E_RESTARTS=0
}

# --- windows ----------------------------------------------------------------

readonly E2E_FORM_TITLE="Quorix Dravell"
readonly E2E_BOX_TITLE="Dravell"

# Now and then, on a busy machine, Wine ends a program with exit code 1
# without a word (once in some thousand starts here). wintool says why on
# every failure of its own, so a failure without a word is Wine's: wintool
# starts again, twice at most. Its output is passed on once it has ended.
e2e_wintool() {
  local out err status try
  out=$(mktemp) err=$(mktemp)
  for try in 1 2 3; do
    status=0
    e2e_wine "$WINTOOL" "$@" >"$out" 2>"$err" || status=$?
    [ "$status" -ne 0 ] && [ ! -s "$err" ] || break
    e2e_log "note: Wine ended wintool $1 with $status and no word (try $try)"
  done
  cat "$out"
  cat "$err" >&2
  rm -f "$out" "$err"
  return "$status"
}

# Presses OK in the program's message box and expects the program to end
# with CODE; DESCRIPTION names that ending in a failure.
e2e_close_box() { # DESCRIPTION CODE [TIMEOUT]
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  e2e_wait_package "${3:-20}"
  e2e_expect_eq "$1" "$2" "$E2E_EXIT"
}

# Waits for the message box that shows exactly TEXT. A package that Wine
# failed to start is started again, twice at most.
e2e_wait_box() { # TEXT [TIMEOUT_MS]
  local try
  for try in 1 2 3; do
    if e2e_wintool wait-text "$E2E_BOX_TITLE" "$1" "${2:-20000}"; then
      E2E_PACKAGE_SHOWN=yes
      return 0
    fi
    e2e_package_never_started || break
    e2e_log "note: Wine ended the package with 1 before any window (try $try)"
    e2e_start_package "${E2E_PACKAGE_ARGS[@]}"
  done
  e2e_fail "no message box with the text: $1"
}

# The texts of the window's static controls, one per line.
e2e_texts() { # TITLE
  e2e_wintool text "$1"
}

# The progress window's status line and progress line.
e2e_status_line() { e2e_texts "$E2E_FORM_TITLE" | sed -n 1p; }
e2e_progress_line() { e2e_texts "$E2E_FORM_TITLE" | sed -n 2p; }

# Saves a screenshot of the whole display as an artefact; prints its path.
e2e_screenshot() { # STEP
  local file="$E2E_ARTIFACTS/$E2E_TEST-$1.png"
  import -display "$DISPLAY" -window root "$file" >/dev/null 2>&1 &&
    printf '%s\n' "$file"
}

# The text of a message box as the program writes it: CR LF between lines.
e2e_crlf() { printf '%s\r\n%s' "$1" "$2"; }

# --- the program's messages -------------------------------------------------

E2E_MSG_CONFIRM=$(e2e_crlf "Сейчас будет произведено обновление Quorix до версии 1.1." "Продолжить?")
readonly E2E_MSG_CONFIRM
readonly E2E_MSG_SUCCESS="Обновление до версии 1.1 прошло успешно!"
readonly E2E_MSG_ABORT="Прервать обновление?"
readonly E2E_MSG_CRITICAL="Произошла критическая ошибка:"
readonly E2E_MSG_NOT_ARCHIVE="Файл не является архивом Kestrova PACK."
readonly E2E_MSG_NO_CATALOG="Не обнаружен каталог файлов в архиве Kestrova PACK."
# Follows the message of a package that is cut short or altered.
readonly E2E_MSG_DAMAGED="Пакет обновления поврежден или загружен не полностью. Загрузите его заново."
readonly E2E_STATUS_PREPARE="Идет подготовка к установке..."
readonly E2E_STATUS_UNPACK="Распаковка пакета обновления..."
readonly E2E_STATUS_INSTALL="Установка обновления..."

# Waits for the confirmation, checks its text, buttons and icon and answers
# it. With TEXT, suspends the program as soon as the progress window shows
# TEXT (see e2e_press_and_suspend).
e2e_answer_confirmation() { # Yes|No [TEXT]
  e2e_wait_box "$E2E_MSG_CONFIRM"
  e2e_expect_eq "the confirmation's text" "$E2E_MSG_CONFIRM" "$(e2e_texts "$E2E_BOX_TITLE")"
  e2e_expect_eq "the confirmation's buttons (Yes is the default)" "Yes* No" \
    "$(e2e_wintool buttons "$E2E_BOX_TITLE")"
  e2e_expect_icon question
  if [ -n "${2:-}" ]; then
    e2e_press_and_suspend "$1" "$2"
  else
    e2e_wintool press "$E2E_BOX_TITLE" "$1" || e2e_fail "cannot press $1"
  fi
}

# Presses BUTTON of the message box, then suspends the program the moment
# its progress window shows TEXT: the run is much faster than any poll from
# the shell, so a phase is caught this way and then looked at at leisure.
# e2e_resume_program lets it go on.
e2e_press_and_suspend() { # BUTTON TEXT
  e2e_wintool press "$E2E_BOX_TITLE" "$1" --suspend-when "$E2E_FORM_TITLE" "$2" 60000 ||
    e2e_fail "the progress window never showed '$2' after $1"
}

e2e_resume_program() {
  e2e_wintool resume "$E2E_FORM_TITLE" || e2e_fail "cannot resume the program"
}

# Asks the suspended program's window to close, lets the program go on and
# waits for the abort question, which holds the run; checks the question.
e2e_ask_abort() { # STEP
  e2e_wintool close "$E2E_FORM_TITLE" || e2e_fail "cannot close the progress window"
  e2e_resume_program
  e2e_wait_box "$E2E_MSG_ABORT" 10000
  e2e_expect_eq "the abort question's text" "$E2E_MSG_ABORT" "$(e2e_texts "$E2E_BOX_TITLE")"
  e2e_expect_eq "the abort question's buttons (Yes is the default)" "Yes* No" \
    "$(e2e_wintool buttons "$E2E_BOX_TITLE")"
  e2e_expect_icon warning
  e2e_screenshot "$1" >/dev/null
}

# The number in a progress line "Выполнено N%", or nothing.
e2e_percent() { printf '%s\n' "$1" | sed -n 's/^Выполнено \(-\?[0-9]\+\)%$/\1/p'; }

# Fails unless the two files exist and are byte-identical.
e2e_expect_same_file() { # EXPECTED ACTUAL
  [ -f "$2" ] || e2e_fail "missing file: $2"
  cmp -s "$1" "$2" || e2e_fail "$2 differs from $1"
}

# Writes SIZE bytes of random data: every check compares with the source.
e2e_data() { # FILE SIZE
  head -c "$2" /dev/urandom >"$1" || e2e_fail "cannot write $1"
}

# The progress window's two lines as one text, to see that the run moves.
e2e_form_state() { e2e_texts "$E2E_FORM_TITLE" | tr '\n' '|'; }

# Writes a PACK1 archive by hand whose COUNT entries all cover the whole data
# region of SIZE random bytes, under the names part1.bin, part2.bin and so
# on, followed by zero bytes up to TOTAL bytes (a hole in the file: bytes
# after the last entry are copied by the carve-out and never read). The
# carve-out copies TOTAL bytes, the extraction writes COUNT times SIZE, so
# both phases last long enough to be watched. The data is also left in
# FILE.data. A package of ours refuses entries that share bytes, so such an
# archive goes into a package of the base format (e2e_join_package).
e2e_overlapping_archive() { # FILE SIZE COUNT [TOTAL]
  local i
  {
    printf 'PACK1\000\001'
    for ((i = 0; i < $3; i++)); do
      printf 'part%d.bin?1?%d\002' $((i + 1)) $(($2 + 1))
    done
    printf '\001'
    head -c "$2" /dev/urandom | tee "$1.data"
  } >"$1" || e2e_fail "cannot write $1"
  if [ -n "${4:-}" ]; then
    truncate -s "$4" "$1" || e2e_fail "cannot extend $1"
  fi
}

# --- message-box icons --------------------------------------------------------

readonly E2E_ICON_KINDS="question information warning error"

# Screenshots the system's four message-box icons as wintool draws them, once
# per test, into E2E_WORK/icons/KIND.png.
e2e_icon_references() {
  local folder="$E2E_WORK/icons"
  [ -f "$folder/error.png" ] && return 0
  mkdir -p "$folder"
  local convert pid x y kind i try colours
  convert=$(e2e_find_convert)
  e2e_wine_env
  env "${E2E_WINE_ENV[@]}" "$WINE" "$WINTOOL" icons >/dev/null 2>&1 &
  pid=$!
  E2E_HELPER_PIDS="${E2E_HELPER_PIDS:-} $pid"
  e2e_wintool wait-window "wintool icons" 30000 || e2e_fail "no reference icons"
  read -r _ x y _ <<<"$(e2e_wintool rect "wintool icons" | grep '^client')"
  for try in 1 2 3 4 5; do
    # Not drawn at the first look: wintool paint has it drawn, but wintool,
    # a console program, has no idle moment that Wine tells (paint fails
    # there), so a moment more for Wine to show it.
    [ "$try" = 1 ] || e2e_wintool paint "wintool icons" 2>/dev/null || true
    sleep 0.2
    import -display "$DISPLAY" -window root "$folder/screen.png" >/dev/null 2>&1
    i=0
    for kind in $E2E_ICON_KINDS; do
      "$convert" "$folder/screen.png" -crop "32x32+$((x + 40 * i))+$y" +repage "$folder/$kind.png"
      i=$((i + 1))
    done
    colours=$("$convert" "$folder/error.png" -format '%k' info:)
    [ "$colours" -le 1 ] || break
  done
  e2e_wintool close "wintool icons" >/dev/null 2>&1
  wait "$pid" 2>/dev/null
  [ "$colours" -gt 1 ] || e2e_fail "the reference icons were not drawn"
}

# Fails unless the message box shows the system icon KIND.
e2e_expect_icon() { # KIND
  e2e_icon_references
  local convert geometry x y try kind score best best_score shot
  convert=$(e2e_find_convert)
  geometry=$(e2e_wintool icon "$E2E_BOX_TITLE") || e2e_fail "the message box shows no icon (expected $1)"
  read -r x y _ <<<"$geometry"
  shot="$E2E_WORK/icons/box.png"
  for try in 1 2 3 4 5; do
    # A box just shown may not be drawn yet: after the first look, the
    # program draws it before the next.
    [ "$try" = 1 ] || e2e_wintool paint "$E2E_BOX_TITLE" || sleep 0.2
    import -display "$DISPLAY" -window root "$E2E_WORK/icons/screen.png" >/dev/null 2>&1
    "$convert" "$E2E_WORK/icons/screen.png" -crop "32x32+$x+$y" +repage "$shot"
    best="" best_score=1
    for kind in $E2E_ICON_KINDS; do
      # RMSE prints "absolute (normalised)" on stderr.
      score=$(compare -metric RMSE "$shot" "$E2E_WORK/icons/$kind.png" null: 2>&1 |
        sed -n 's/.*(\(.*\)).*/\1/p')
      [ -n "$score" ] || continue
      if awk -v a="$score" -v b="$best_score" 'BEGIN { exit !(a < b) }'; then
        best=$kind best_score=$score
      fi
    done
    awk -v a="$best_score" 'BEGIN { exit !(a < 0.05) }' && break
  done
  awk -v a="$best_score" 'BEGIN { exit !(a < 0.05) }' ||
    e2e_fail "the message box's icon matches no system icon (closest: $best, $best_score)"
  e2e_expect_eq "the message box's icon" "$1" "$best"
}

# Waits, at most TENTHS tenths of a second, for the message box that
# follows the confirmation; E2E_BOX_TEXT is its text ("" when none came).
e2e_wait_next_box() { # [TENTHS]
  local _
  E2E_BOX_TEXT=
  for _ in $(seq "${1:-200}"); do
    E2E_BOX_TEXT=$(e2e_texts "$E2E_BOX_TITLE" 2>/dev/null)
    [ -n "$E2E_BOX_TEXT" ] && [ "$E2E_BOX_TEXT" != "$E2E_MSG_CONFIRM" ] && return
    sleep 0.1
  done
}

# Runs an update to its end as a user would: a package of ours silently,
# its log at LOG; one of the base format through its boxes, Yes to the
# confirmation and OK to the box that ends the run, whose text (CRs gone)
# E2E_BOX_TEXT then holds. E2E_EXIT is the program's exit code.
e2e_run_to_end() { # PACKAGE.exe ours|base LOG
  if [ "$2" = ours ]; then
    rm -f "$3"
    e2e_start_package "$1" /S "/LOG=$(e2e_windows_path "$3")"
  else
    e2e_start_package "$1"
    e2e_wait_box "$E2E_MSG_CONFIRM"
    e2e_wintool press "$E2E_BOX_TITLE" Yes || e2e_fail "cannot press Yes"
    e2e_wait_next_box 100
    E2E_BOX_TEXT=${E2E_BOX_TEXT//$'\r'/}
    e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK at: $E2E_BOX_TEXT"
  fi
  e2e_wait_package 30
}

# Waits for the critical-error message that follows the confirmation and
# checks it: "Произошла критическая ошибка:", CR LF and a description, the
# error icon and OK; E2E_BOX_TEXT is its text.
e2e_expect_critical_box() {
  e2e_wait_next_box
  e2e_screenshot message >/dev/null
  case "$E2E_BOX_TEXT" in
  "$E2E_MSG_CRITICAL"$'\r\n'?*) ;;
  *) e2e_expect_eq "the critical-error message" "$E2E_MSG_CRITICAL"$'\r\n'"(a description)" "$E2E_BOX_TEXT" ;;
  esac
  e2e_log "critical-error message: ${E2E_BOX_TEXT//$'\r\n'/ | }"
  e2e_expect_eq "the critical-error box's buttons" "OK*" "$(e2e_wintool buttons "$E2E_BOX_TITLE")"
  e2e_expect_icon error
}
