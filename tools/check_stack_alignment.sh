#!/usr/bin/env bash
# check_stack_alignment.sh <objdump> <zqcrypt.dll>
#
# A 32-bit Windows caller promises only a 4-byte aligned stack. A legacy SSE
# instruction (not VEX-encoded) with a 16-byte memory operand faults unless
# that operand is 16-byte aligned, so such an operand on the stack is sound
# only in a function that aligns its own frame (and $-16 or $-32 to %esp).
#
# The DLL carries no symbols, so functions are told apart by where they start:
# every direct call target and every export. Prints each offending instruction
# and exits 1 if there is one.
set -euo pipefail
objdump=$1
dll=$2

"$objdump" -p "$dll" >"${TMPDIR:-/tmp}/zq_align_headers.$$"
"$objdump" -d --no-show-raw-insn "$dll" >"${TMPDIR:-/tmp}/zq_align_code.$$"
trap 'rm -f "${TMPDIR:-/tmp}/zq_align_headers.$$" "${TMPDIR:-/tmp}/zq_align_code.$$"' EXIT

awk '
function hex(s,    i, c, v) {
    v = 0
    s = tolower(s)
    sub(/^0x/, "", s)
    for (i = 1; i <= length(s); i++) {
        c = index("0123456789abcdef", substr(s, i, 1)) - 1
        v = v * 16 + c
    }
    return v
}
FNR == 1 { pass++ }
# Headers: the image base and each export address.
pass == 1 {
    if ($1 == "ImageBase") base = hex($2)
    if ($0 ~ /Export RVA/) rva[++exports] = $(NF - 2)
    next
}
# First pass over the code: where functions start.
pass == 2 {
    if (!based) {
        for (i = 1; i <= exports; i++) start[base + hex(rva[i])] = 1
        based = 1
    }
    if ($2 == "call" && $3 ~ /^0x[0-9a-f]+$/) start[hex($3)] = 1
    next
}
# Second pass: every instruction, in address order.
$1 ~ /^[0-9a-f]+:$/ {
    address = hex(substr($1, 1, length($1) - 1))
    if (address in start) { function_start = address; realigned = 0 }
    mnemonic = $2
    operands = $3
    if (mnemonic == "and" && operands ~ /^\$0xf+[0-9a-f]0,%esp$/) realigned = 1
    if (mnemonic ~ /^v/ || operands !~ /%xmm/ || operands !~ /\(%e[sb]p/) next
    if (mnemonic ~ /^(movups|movupd|movdqu|lddqu|movd|movq|movss|movsd|movl?h?p[sd]|movhlps|movlhps|movddup|pinsr[bwdq]|pextr[bwdq]|extractps|insertps|pmov[sz]x[a-z]+|cvt[a-z0-9]+|u?comis[sd]|(add|sub|mul|div|sqrt|max|min|cmp[a-z]*|rcp|rsqrt|round)s[sd])$/) next
    if (!realigned) {
        printf "%x: %s %s in the function at %x, which does not align its frame\n", address, mnemonic, operands, function_start
        bad++
    }
}
END {
    if (bad) exit 1
    printf "no aligned SSE stack operand outside a realigned frame\n"
}
' "${TMPDIR:-/tmp}/zq_align_headers.$$" "${TMPDIR:-/tmp}/zq_align_code.$$" "${TMPDIR:-/tmp}/zq_align_code.$$"
