#!/usr/bin/env bash
# Runs a command on an X display of its own (Xvfb), started again when it
# does not come up, and ends with the command's status.
#
#   own_display_run.sh COMMAND...
set -euo pipefail
source "$(dirname "$(realpath "$0")")/real_program_lib.sh"
start_xvfb
"$@"
