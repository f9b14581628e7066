#!/usr/bin/env bash
set -euo pipefail
bash scripts/install-deps.sh
