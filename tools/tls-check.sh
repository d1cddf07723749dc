#!/usr/bin/env bash
# tls-check.sh SERVER_BINARY UPLOAD_TOOL: the results service behind the nginx front of
# tools/tls-front.sh, as a real client (curl, trusting the front's own certificate) meets it.
# Starts kalvit-results on a free loopback port with a new SQLite store, trusting the front on
# 127.0.0.1, and the front on two more; then:
#   - an upload ("UPLOAD_TOOL upload-url" makes its address) over plain HTTP makes the account
#     and moves to its result page, which plain HTTP serves as it is: no redirect, no HSTS;
#   - signing in over plain HTTP gives the plain cookie, without Secure or HSTS;
#   - signing in over HTTPS gives the __Host- cookie with Secure, and HSTS; /mine with that
#     cookie shows the account;
#   - a sign-in from a foreign Origin is refused with 403, one from the site's own is not;
#   - the home page over HTTPS carries no HSTS.
# Exit status 0 when every check held, 1 when one did not, 77 when nginx, openssl or curl is
# not installed. Everything started here is stopped before the script ends.
set -euo pipefail
# shellcheck source=tools/results-service.sh
. "$(dirname "$0")/results-service.sh"
# shellcheck source=tools/tls-front.sh
. "$(dirname "$0")/tls-front.sh"

say() { echo "tls-check: $*" >&2; }

if [[ $# -ne 2 ]]; then
    echo "usage: $0 SERVER_BINARY UPLOAD_TOOL" >&2
    exit 2
fi
server_binary=$1
upload_tool=$2
for tool in "$front_nginx" openssl curl; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        say "no $tool; install it with tools/setup.sh"
        exit 77
    fi
done
for f in "$server_binary" "$upload_tool"; do
    [[ -x $f ]] || { say "$f is not an executable"; exit 2; }
done

work=""
# shellcheck disable=SC2154  # status is set by the trap itself
trap 'status=$?; trap - EXIT; stop_front; stop_service; [[ -z $work ]] || rm -rf -- "$work"
exit "$status"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

work=$(mktemp -d "${TMPDIR:-/tmp}/kalvit-tls.XXXXXX")
start_service "$server_binary" "$work/results.db" "$work" --threads 4 \
    --trusted-proxy 127.0.0.1 || exit 1
start_front "${service_url##*:}" "$work/front" || exit 1
plain=http://127.0.0.1:$front_http_port
secure=https://127.0.0.1:$front_https_port
say "service on $service_url (pid $service_pid), front on $secure and $plain (pid $front_pid)"

failures=0
check() { # WHAT COMMAND...: whether the command succeeds, said with WHAT
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
matches() { [[ $1 =~ $2 ]]; }
# A cookie's attribute, in any case, as its own item.
has_attribute() { [[ ${1,,} =~ \;\ *$2(\;|$) ]]; }
plain_cookie() { [[ $1 =~ ^kalvit_session=[^\;]+\; ]] && ! has_attribute "$1" secure; }
secure_cookie() {
    [[ $1 =~ ^__Host-kalvit_session=[^\;]+\; ]] && has_attribute "$1" secure &&
        has_attribute "$1" path=/ && has_attribute "$1" httponly
}

# fetch NAME URL [CURL ARGS...]: the status and the address the answer moves to; its header in
# NAME.head, its body in NAME.body.
fetch() {
    local name=$1 url=$2
    shift 2
    curl -sS --noproxy '*' --max-time 30 --cacert "$front_cert" -D "$work/$name.head" \
        -o "$work/$name.body" -w '%{http_code} %{redirect_url}' "$@" "$url" || true
}
# header NAME FIELD: the field's value in the answer NAME, empty when it has none.
header() { sed -n "s/^$2: *//Ip" "$work/$1.head" | tr -d '\r' | head -n 1; }
no_hsts() { [[ -z $(header "$1" strict-transport-security) ]]; }

mail=front@host.com
pass=front123
sign_in=(--data-urlencode "mail=$mail" --data-urlencode "pass=$pass")

# The program's upload goes over plain HTTP and makes the account.
address=$("$upload_tool" upload-url --mail "$mail" --pass "$pass") || {
    say "$upload_tool upload-url --mail $mail --pass $pass failed"
    exit 1
}
letters=${address##*\?}
check "$upload_tool upload-url gives an upload address" matches "$letters" '^[A-P]+$'
answer=$(fetch upload "$plain/upload?$letters")
check "an upload over plain HTTP is stored and moves to its result ($answer)" \
    matches "$answer" "^303 $plain/result/[0-9]+\\?new=1\$"
answer=$(fetch result "${answer#* }")
check "its result page over plain HTTP: 200, no redirect ($answer)" test "$answer" = "200 "
check "its result page over plain HTTP: no HSTS" no_hsts result

answer=$(fetch plain-login "$plain/login" "${sign_in[@]}")
check "signing in over plain HTTP moves to /mine ($answer)" test "$answer" = "303 $plain/mine"
check "signing in over plain HTTP: kalvit_session, not Secure ($(header plain-login set-cookie))" \
    plain_cookie "$(header plain-login set-cookie)"
check "signing in over plain HTTP: no HSTS" no_hsts plain-login

# Signing in over HTTPS.
answer=$(fetch login "$secure/login" "${sign_in[@]}")
check "signing in over HTTPS moves to /mine ($answer)" test "$answer" = "303 $secure/mine"
cookie=$(header login set-cookie)
check "signing in over HTTPS: __Host-kalvit_session, Secure ($cookie)" secure_cookie "$cookie"
check "signing in over HTTPS: HSTS ($(header login strict-transport-security))" \
    test "$(header login strict-transport-security)" = max-age=31536000
answer=$(fetch mine "$secure/mine" -H "Cookie: ${cookie%%;*}")
check "/mine over HTTPS with the cookie: 200 ($answer)" test "$answer" = "200 "
check "/mine over HTTPS shows $mail" grep -qF "$mail" "$work/mine.body"

# A POST from another site is refused; one from the site itself is not.
answer=$(fetch evil "$secure/login" -H 'Origin: https://evil.example' "${sign_in[@]}")
check "a sign-in with Origin https://evil.example: 403 ($answer)" test "$answer" = "403 "
answer=$(fetch own "$secure/login" -H "Origin: $secure" -H 'Sec-Fetch-Site: same-origin' \
    "${sign_in[@]}")
check "a sign-in with the site's own Origin moves to /mine ($answer)" \
    test "$answer" = "303 $secure/mine"

answer=$(fetch home "$secure/")
check "the home page over HTTPS: 200 ($answer)" test "$answer" = "200 "
check "the home page over HTTPS: no HSTS" no_hsts home

if [[ $failures -ne 0 ]]; then
    say "FAILED ($failures); the front's error log and the service's errors:"
    tail -n 20 "$work/front/error.log" "$work/service.err" >&2
    exit 1
fi
say "all checks held"
