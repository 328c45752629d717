#!/usr/bin/env bash
# Fixture of the end-to-end tests: stops the X displays and Wine servers
# that setup.sh started and removes the prefixes; keeps the logs as
# artefacts.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"

state=${WINE_E2E_STATE:?WINE_E2E_STATE names the folder of the shared state}
for name in $(e2e_environments); do
  e2e_teardown_environment "$state/$name"
done
