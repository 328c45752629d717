#!/usr/bin/env bash
# Fixture of the end-to-end tests: starts the X displays and Wine prefixes
# that the tests of one run share (see harness.sh), all at once.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"

e2e_require_tools
state=${WINE_E2E_STATE:?WINE_E2E_STATE names the folder of the shared state}
pids=()
for name in $(e2e_environments); do
  (
    # An interrupted earlier run may have left its display and prefix behind.
    e2e_teardown_environment "$state/$name"
    e2e_setup_environment "$state/$name" ||
      { e2e_teardown_environment "$state/$name"; exit 1; }
  ) &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
[ "$status" = 0 ] || bash "$(dirname "$0")/teardown.sh"
exit "$status"
