#!/usr/bin/env bash
# The release as users get it, made by script/release from a copy of the sources in a folder of
# another name, with a blank in it: neither this build nor the developer's dist/ is touched.
#
#   check-release.sh same-bytes SOURCES COPY PROGRAM
#       Released from COPY, the program is byte for byte PROGRAM, the one built here, and its
#       notices and bill of materials are those that PROGRAM's own link map gives (so that map
#       shows no library without its notices); SHA256SUMS names every file in dist/, the program
#       last, as printed. Linked with one more library, which has no notices, the release fails.
#   check-release.sh signed COPY RUN RELEASE_TESTS
#       Signed with a throw-away certificate, it verifies, is the unsigned program and a signature,
#       and RELEASE_TESTS (a Windows program run with RUN) checks it as Windows does; the bill of
#       materials has the signed program's hash. A signing that fails, or a signature that does not
#       verify, leaves no program in COPY/dist.
set -euo pipefail

status=0
fail() {
    echo "FAIL: $*"
    status=1
}
# The SHA-256 that the bill of materials in the dist/ folder $1 gives its program.
bom_hash() {
    /usr/bin/python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["metadata"]["component"]["hashes"][0]["content"])' \
        "$1/Talvorecmax.cdx.json"
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
    dist=$copy/dist
    (cd "$dist" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS does not match the files"
    [ "$(cd "$dist" && LC_ALL=C ls | grep -vx SHA256SUMS)" = "$(sed 's/^[0-9a-f]*  //' "$dist/SHA256SUMS" | LC_ALL=C sort)" ] ||
        fail "SHA256SUMS does not name every file in dist/"
    [ "$(tail -n 1 "$log")" = "$(cd "$dist" && sha256sum Talvorecmax.exe)" ] || fail "the program's hash is not the last line printed"
    cmp "$dist/Talvorecmax.exe" "$program" || fail "released from another folder, the program differs from $program"
    made=$(mktemp -d)
    trap 'rm -rf "$log" "$made"' EXIT
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$(dirname "$program")/CMakeCache.txt")
    "$sources/script/third-party" write "${program%.exe}.map" "$program" "$version" "$made" || fail "this build's map has no notices"
    for file in THIRD-PARTY-NOTICES.txt Talvorecmax.cdx.json; do
        cmp "$made/$file" "$dist/$file" || fail "$file is not what this build's link map gives"
    done
    "$sources/script/third-party" validate "$dist/Talvorecmax.cdx.json" || fail "the bill of materials is not valid CycloneDX 1.6"
    [ "$(bom_hash "$dist")" = "$(sha256sum <"$dist/Talvorecmax.exe" | cut -d ' ' -f 1)" ] ||
        fail "the bill of materials does not have the program's hash"

    # Linked with one more static library, which has no notices: the release names it and ships nothing.
    cmake "$copy/build/release" "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--undefined=quadmath_snprintf -lquadmath" >/dev/null
    if "$copy/script/release" >"$log" 2>&1; then
        fail "with libquadmath.a linked in, the release did not fail"
    fi
    grep -q 'libquadmath\.a' "$log" || { cat "$log"; fail "the failed release does not name libquadmath.a"; }
    echo "a library without notices: refused: $(grep '^third-party:' "$log")"
    [ -z "$(ls -A "$dist")" ] || fail "the failed release left files in dist/"
    cmake "$copy/build/release" -DCMAKE_EXE_LINKER_FLAGS= >/dev/null
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
        [ "$(bom_hash "$dist")" = "$(sha256sum <"$dist/Talvorecmax.exe" | cut -d ' ' -f 1)" ] ||
            fail "the bill of materials does not have the signed program's hash"
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
        if [ -n "$(ls -A "$dist")" ]; then
            fail "$what: files were left in dist/"
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
