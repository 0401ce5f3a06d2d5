#!/usr/bin/env bash
# The main job on its embedded default: installs what is missing, builds, and
# starts the updater wired to a virtual Orvo and the simulated update server in
# one process (no hardware, no network). With a display it opens the updater's
# window and a bench window to plug and unplug virtual Orvos and pick a fault;
# without one it runs one unattended cycle on Qt's offscreen platform, printing
# every status and progress text. Arguments go to orvo-demo (--headless,
# --screenshot FILE.png, --flash FILE, --fault KIND, --serial S, --then S).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Only the demo and what it loads (language libraries, picture); the test
# script builds everything else in the same tree when it is run.
scripts/build.sh release --target orvo-demo
exec build/release/bin/orvo-demo "$@"
