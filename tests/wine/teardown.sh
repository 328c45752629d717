#!/usr/bin/env bash
# Fixture of the end-to-end tests: stops the X display and the Wine server
# that setup.sh started and removes the prefix; keeps the logs as artefacts.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"

e2e_teardown_environment "${WINE_E2E_STATE:?WINE_E2E_STATE names the folder of the shared state}"
