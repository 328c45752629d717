#!/usr/bin/env bash
# Fixture of the end-to-end tests: starts the X display and the Wine prefix
# that every test of one run shares (see harness.sh).
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"

e2e_require_tools
state=${WINE_E2E_STATE:?WINE_E2E_STATE names the folder of the shared state}
# An interrupted earlier run may have left its display and prefix behind.
e2e_teardown_environment "$state"
if ! e2e_setup_environment "$state"; then
  e2e_teardown_environment "$state"
  exit 1
fi
