#!/usr/bin/env bash
# Searches every log file the tests kept (ORDERDESK_TEST_LOGS) for the test
# accounts' passwords, the store's secret key and its session token, and for
# any signed request's marks (an Authorization header, a SigV4 signature or
# credential, a session token header); any hit fails. A secret in a log
# travels with every log sent to support.
set -euo pipefail
cd "$(dirname "$0")/.."
LOGS="${1:?usage: check-log-secrets.sh LOG-FOLDER}"
[[ -d "$LOGS" ]] || { echo "secrets: no kept logs in $LOGS" >&2; exit 1; }
count=$(find "$LOGS" -type f -name '*.log' | wc -l)
((count > 0)) || { echo "secrets: no log files in $LOGS" >&2; exit 1; }

secrets=$(mktemp)
trap 'rm -f "$secrets"' EXIT
node -e '
const fs = require("fs");
const accounts = JSON.parse(fs.readFileSync("tools/localbackend/data/accounts.json", "utf8"));
const sts = JSON.parse(fs.readFileSync("tools/localbackend/data/sts.json", "utf8"));
const out = [];
const walk = (v) => {
  if (Array.isArray(v)) v.forEach(walk);
  else if (v && typeof v === "object")
    for (const [k, x] of Object.entries(v)) (k === "password" && typeof x === "string") ? out.push(x) : walk(x);
};
walk(accounts);
out.push(sts.secretAccessKey, sts.sessionToken);
out.push("Authorization:", "AWS4-HMAC-SHA256", "X-Amz-Signature", "X-Amz-Credential", "x-amz-security-token");
fs.writeFileSync(process.argv[1], out.filter((s) => s && s.length >= 6).join("\n") + "\n");
' "$secrets"

if hits=$(find "$LOGS" -type f -name '*.log' -print0 | xargs -0 grep -F -i -l -f "$secrets"); then
    echo "secrets: a password, secret key or session token is in these logs:" >&2
    echo "$hits" >&2
    exit 1
fi
echo "secrets: $(wc -l < "$secrets") secrets searched for in $count log files, none found"
