# Shared helpers of the end-to-end tests of updpack; each test script
# sources this file with the tool's path as its first argument.
# Not a test itself (only *.sh files are).

set -u
export LC_ALL=C.UTF-8

UPDPACK=${1:?usage: bash script.sh /path/to/updpack}
case $UPDPACK in /*) ;; *) UPDPACK=$PWD/$UPDPACK ;; esac
[ -x "$UPDPACK" ] || { echo "not executable: $UPDPACK" >&2; exit 2; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/updpack_cli.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export TMP="$WORK/tmp"
mkdir "$TMP"
cd "$WORK"

FAILURES=0
fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

# run_tool [--stdin FILE] ARGS...: runs updpack, leaving its status in RC
# and its output in the files $OUT and $ERR.
OUT=$WORK/tool.stdout
ERR=$WORK/tool.stderr
run_tool() {
  local input=/dev/null
  if [ "${1:-}" = --stdin ]; then
    input=$2
    shift 2
  fi
  "$UPDPACK" "$@" <"$input" >"$OUT" 2>"$ERR"
  RC=$?
}

# expect_rc CODE WHAT
expect_rc() {
  [ "$RC" = "$1" ] || {
    fail "$2: exit status $RC, expected $1"
    sed 's/^/  stderr: /' "$ERR" >&2
  }
}

# expect_text FILE EXPECTED WHAT: the whole file is EXPECTED plus a newline.
expect_text() {
  local actual
  actual=$(cat "$1"; echo x)
  actual=${actual%x}
  [ "$actual" = "$2"$'\n' ] || {
    fail "$3: unexpected text"
    printf '  expected: %s\n' "$2" >&2
    sed 's/^/  actual:   /' "$1" >&2
  }
}

# expect_empty FILE WHAT
expect_empty() {
  [ ! -s "$1" ] || {
    fail "$2: expected no output"
    sed 's/^/  got: /' "$1" >&2
  }
}

# expect_contains FILE TEXT WHAT
expect_contains() {
  local text
  text=$(cat "$1")
  [[ $text == *"$2"* ]] || {
    fail "$3: missing \"$2\""
    sed 's/^/  text: /' "$1" >&2
  }
}

# expect_same_bytes A B WHAT
expect_same_bytes() {
  cmp -s "$1" "$2" || fail "$3: $1 and $2 differ"
}

# An install-script record of 65 bytes: operation code, then the source
# (16 bytes) and the target (48 bytes). Each path is a placeholder
# (T: the temporary folder, P: the program folder, -: none) and ASCII text,
# padded with spaces.
script_record() {
  printf "\\x$(printf %02x "$1")"
  script_field 16 "$2" "$3"
  script_field 48 "$4" "$5"
}
script_field() {
  local width=$1 holder=$2 text=$3 used=0
  case $holder in
  T) printf '\x00'; used=1 ;;
  P) printf '\x01'; used=1 ;;
  esac
  printf '%s' "$text"
  used=$((used + ${#text}))
  printf '%*s' $((width - used)) ''
}

# make_stub FILE [SIZE]: a minimal PE program image of SIZE bytes (512
# unless told): "MZ", e_lfanew = 0x40 at 0x3C, "PE\0\0" at 0x40, then random
# bytes. From 328 bytes on, a COFF header (x64, no section) and a PE32+
# optional header whose SizeOfHeaders is the whole stub come before them, so
# the image ends where the stub does.
make_stub() {
  local size=${2:-512}
  {
    printf 'MZ'
    head -c 58 /dev/zero
    printf '\x40\x00\x00\x00PE\x00\x00'
    if [ "$size" -ge 328 ]; then
      printf '\x64\x86\x00\x00'
      head -c 12 /dev/zero
      printf '\xf0\x00\x22\x00\x0b\x02'
      head -c 58 /dev/zero
      trailer "$size" # SizeOfHeaders
      head -c 44 /dev/zero
      trailer 16 # NumberOfRvaAndSizes
      head -c 128 /dev/zero
      head -c $((size - 328)) /dev/urandom
    else
      head -c $((size - 68)) /dev/urandom
    fi
  } >"$1"
}

# manifest_end PACKAGE: the 0-based offset just past the manifest that
# build puts where the program image ends (magic, payload length, CRC-32,
# payload); the archive begins right after (position + 1). The image's end
# is read from its PE headers: the image itself holds the magic as text.
manifest_end() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections, optional = struct.unpack_from("<H12xH", data, pe + 6)
end = struct.unpack_from("<I", data, pe + 24 + 60)[0]  # SizeOfHeaders
table = pe + 24 + optional
for k in range(sections):
    size, at = struct.unpack_from("<II", data, table + 40 * k + 16)
    end = max(end, at + size)
if data[end:end + 16] != b"updpack manifest":
    sys.exit("no manifest where the image ends (%d)" % end)
print(end + 24 + struct.unpack_from("<I", data, end + 16)[0])
PY
}

# manifest PAYLOAD: the manifest of the bytes of the file PAYLOAD.
manifest() {
  python3 - "$1" <<'PY'
import struct, sys, zlib
payload = open(sys.argv[1], "rb").read()
sys.stdout.buffer.write(b"updpack manifest" +
                        struct.pack("<II", len(payload), zlib.crc32(payload)) +
                        payload)
PY
}

# seal STUB ARCHIVE KEY...: a package of ours made by hand from an archive
# whose tool entries build would refuse: the stub (ending where its image
# does), a manifest declaring the checksum entry, each KEY (set to 1) and
# the length, the archive with the checksum entry of its other entries,
# and the trailer.
seal() {
  python3 - "$@" <<'PY'
import re, struct, sys, zlib
stub, archive = (open(p, "rb").read() for p in sys.argv[1:3])
end = archive.index(b"\x01", 7)
entries = [re.fullmatch(rb"(.*)\?(\d+)\?(\d+)", e).groups()
           for e in archive[7:end].split(b"\x02")[:-1]]
data = archive[end + 1:]
sums = b"updpack sums 1\r\n" + b"".join(
    b"%08X %d %s\r\n" % (zlib.crc32(data[int(s) - 1:int(e) - 1]), int(e) - int(s), n)
    for n, s, e in entries)
at = len(data) + 1
archive = (archive[:end] + b"~updpack.sum?%d?%d\x02\x01" % (at, at + len(sums)) +
           data + sums)
pairs = b"".join(b"%s\x00%s\x00" % (k.encode(), v) for k, v in
                 [("sums", b"1")] + [(k, b"1") for k in sys.argv[3:]])
length = 0
while True:
    payload = pairs + b"length\x00%d\x00" % length
    total = len(stub) + 24 + len(payload) + len(archive) + 4
    if total == length:
        break
    length = total
sys.stdout.buffer.write(stub + b"updpack manifest" +
                        struct.pack("<II", len(payload), zlib.crc32(payload)) +
                        payload + archive +
                        struct.pack("<I", len(stub) + 24 + len(payload) + 1))
PY
}

# trailer POSITION: the 4-byte little-endian trailer of a package.
trailer() {
  local p=$1
  printf "\\x$(printf %02x $((p & 255)))\\x$(printf %02x $((p >> 8 & 255)))"
  printf "\\x$(printf %02x $((p >> 16 & 255)))\\x$(printf %02x $((p >> 24 & 255)))"
}

finish() {
  if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed" >&2
    exit 1
  fi
  echo ok
  exit 0
}
