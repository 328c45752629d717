#!/usr/bin/env bash
# kill_campaign.py with the Windows program under Wine: a private X display
# and Wine prefix as the Wine tests make them (tests/wine/harness.sh), then
# the campaign's runs as `wine update.exe /S /LOG=... /D=...`, killed with
# SIGKILL or `wineserver -k`. Not a test.
#
#   UPDPACK_TOOL=build/native/tools/updpack \
#   UPDPACK_STUB=build/win64/stub/updpack-stub.exe \
#   WINTOOL=build/win64/tests/wine/wintool.exe \
#     bash bench/kill_campaign_wine.sh [--seed N] [--points N]
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/wine/harness.sh
. "$HERE/../tests/wine/harness.sh"
e2e_begin kill_campaign
export LC_ALL=$E2E_LC_ALL
[ -z "$E2E_LOCPATH" ] || export LOCPATH=$E2E_LOCPATH
export TMP=$E2E_TMP
python3 "$HERE/kill_campaign.py" --wine --tool "$UPDPACK_TOOL" \
  --stub "$UPDPACK_STUB" --work "$E2E_WORK/campaign" "$@"
