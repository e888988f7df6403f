#!/usr/bin/env bash
# The release as users get it, made by script/release from a copy of the sources in a folder of
# another name, with a blank in it: neither this build nor the developer's dist/ is touched.
#
#   check-release.sh same-bytes SOURCES COPY PROGRAM
#       Released from COPY, the program is byte for byte PROGRAM, the one built here, and
#       SHA256SUMS, whose line is printed last, names it.
#   check-release.sh signed COPY RUN RELEASE_TESTS
#       Signed with a throw-away certificate, it verifies, is the unsigned program and a signature,
#       and RELEASE_TESTS (a Windows program run with RUN) checks it as Windows does. A signing that
#       fails, or a signature that does not verify, leaves no program in COPY/dist.
set -euo pipefail

status=0
fail() {
    echo "FAIL: $*"
    status=1
}

case $1 in
same-bytes)
    sources=$2 copy=$3 program=$4
    rm -rf "$copy"
    mkdir -p "$copy"
    tar -C "$sources" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$copy" -xf -
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT
    "$copy/script/release" | tee "$log"
    (cd "$copy/dist" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS does not match the program"
    [ "$(tail -n 1 "$log")" = "$(cat "$copy/dist/SHA256SUMS")" ] || fail "the hash is not the last line printed"
    cmp "$copy/dist/Talvorecmax.exe" "$program" || fail "released from another folder, the program differs from $program"
    ;;

signed)
    copy=$2 run=$3 tests=$4
    certs=$(mktemp -d)
    trap 'rm -rf "$certs"' EXIT
    # One that shell quoting would trip over.
    export TALVOREC_PFX_PASSWORD='pa$$ "word" `x`'
    # certificate NAME SUBJECT USAGE [CA]: NAME.pfx, self-signed or issued by CA, for USAGE.
    certificate() {
        local name=$1 subject=$2 usage=$3 ca=${4:-}
        openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$certs/$name.key"
        openssl req -new -key "$certs/$name.key" -subj "$subject" -out "$certs/$name.csr"
        printf 'basicConstraints=CA:%s\nextendedKeyUsage=%s\n' "$([ -n "$ca" ] && echo FALSE || echo TRUE)" \
            "$usage" >"$certs/$name.ext"
        local issuer=(-key "$certs/$name.key")
        [ -z "$ca" ] || issuer=(-CA "$certs/$ca.pem" -CAkey "$certs/$ca.key" -CAcreateserial)
        openssl x509 -req -in "$certs/$name.csr" "${issuer[@]}" -days 2 -extfile "$certs/$name.ext" \
            -out "$certs/$name.pem" 2>/dev/null
        openssl pkcs12 -export -inkey "$certs/$name.key" -in "$certs/$name.pem" -out "$certs/$name.pfx" \
            -passout env:TALVOREC_PFX_PASSWORD
    }
    certificate good "/CN=Talvorecmax test" codeSigning
    certificate server "/CN=Talvorecmax server" serverAuth
    certificate ca "/CN=Talvorecmax unknown CA" codeSigning
    certificate issued "/CN=Talvorecmax issued" codeSigning ca
    head -c 1000 "$certs/good.pfx" >"$certs/damaged.pfx"

    # release PASSWORD ARGS...: runs script/release in the copy; its output in $certs/log.
    release() {
        local code=0
        (cd "$copy" && TALVOREC_PFX_PASSWORD=$1 script/release "${@:2}") >"$certs/log" 2>&1 || code=$?
        if grep -qF -- "$1" "$certs/log"; then
            fail "the password was printed"
        fi
        return $code
    }

    dist=$copy/dist
    if release "$TALVOREC_PFX_PASSWORD" --pfx "$certs/good.pfx"; then
        tail -n 2 "$certs/log"
        osslsigncode verify -in "$dist/Talvorecmax.exe" -CAfile "$certs/good.pem" >"$certs/verify" 2>&1 ||
            { cat "$certs/verify"; fail "the signature does not verify"; }
        grep -q 'Text description: Talvorecmax$' "$certs/verify" || fail "no description Talvorecmax"
        grep -q 'Message digest algorithm  : SHA256' "$certs/verify" || fail "not a SHA-256 digest"
        (cd "$dist" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS does not name the signed program"
        # Without its signature it is the unsigned program: a signed download can be checked
        # against the sources.
        osslsigncode remove-signature -in "$dist/Talvorecmax.exe" -out "$certs/unsigned.exe" >/dev/null
        cmp "$certs/unsigned.exe" "$copy/build/release/Talvorecmax.exe" || fail "more than a signature was added"
        TALVOREC_SIGNED_EXE=$dist/Talvorecmax.exe "$run" "$tests" || fail "the signed program fails under Windows' checks"
        cp "$dist/Talvorecmax.exe" "$certs/earlier.exe"
    else
        cat "$certs/log"
        fail "signing with a good certificate failed"
        cp /dev/null "$certs/earlier.exe"
    fi

    # An earlier release is in dist/ each time: a failed one must not leave it there either.
    while IFS='|' read -r what password pfx more; do
        cp "$certs/earlier.exe" "$dist/Talvorecmax.exe"
        # more: further arguments, split at blanks
        if release "$password" --pfx "$certs/$pfx" $more; then
            fail "$what: the release did not fail"
        else
            echo "$what: refused: $(grep '^release:' "$certs/log" | tail -n 1)"
        fi
        if [ -e "$dist/Talvorecmax.exe" ] || [ -e "$dist/SHA256SUMS" ]; then
            fail "$what: a program was left in dist/"
        fi
    done <<EOF
a wrong password|not the password|good.pfx
a damaged certificate file|$TALVOREC_PFX_PASSWORD|damaged.pfx
a certificate not for code signing|$TALVOREC_PFX_PASSWORD|server.pfx
a certificate from an unknown authority|$TALVOREC_PFX_PASSWORD|issued.pfx
a time-stamp server that cannot be reached|$TALVOREC_PFX_PASSWORD|good.pfx|--timestamp http://127.0.0.1:9/
EOF
    ;;

*)
    echo "usage: check-release.sh same-bytes|signed ..." >&2
    exit 2
    ;;
esac
exit $status
