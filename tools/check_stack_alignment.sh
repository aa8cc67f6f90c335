#!/usr/bin/env bash
# check_stack_alignment.sh <objdump> <zqcrypt.dll>
#
# A 32-bit Windows caller promises only a 4-byte aligned stack. A legacy SSE
# instruction (not VEX-encoded) with a 16-byte memory operand faults unless
# that operand is 16-byte aligned, so such an operand on the stack is sound
# only in a function that aligns its own frame (and $-16 or $-32 to %esp).
#
# Every such operand is looked at, whatever register it goes through:
# - in a function that has aligned its frame, none is reported: its frame,
#   however reached, is aligned, and other memory is as aligned as the
#   compiler knew it to be;
# - elsewhere, one based on any register is reported, since the register may
#   point into the frame (lea 0x10(%esp),%eax, then movaps (%eax)), unless
#   the instruction is on the list below;
# - one at a fixed address (a constant table) is reported unless the address
#   is a multiple of 16 (relocation moves the image by 64 KiB steps).
#
# The DLL carries no symbols, so functions are told apart by where they start:
# every direct call target and every export. Prints each offending instruction
# and exits 1 if there is one.
#
# What this reading cannot see: code reached only by a jump or through a
# pointer is taken for part of the function laid out before it, whose
# realignment it then inherits; a realignment counts for every instruction at
# a higher address in the function, also on a path that does not pass it. The
# calls of every export with the stack 4, 8 and 12 bytes off alignment, on
# each Base64 path, under Wine (tests/host/misaligned_stack_test.cpp) try out
# what the code actually does.
set -euo pipefail
objdump=$1
dll=$2

# Aligned SSE operands through a register other than %esp and %ebp, in
# functions that do not align their frame, whose register is known to point
# elsewhere than the stack (a heap block or a table aligned to 16 bytes):
# one a line, the instruction as objdump prints it, then " # " and why it is
# safe. Such an instruction is accepted wherever it appears. None so far.
allowed='
'

"$objdump" -p "$dll" >"${TMPDIR:-/tmp}/zq_align_headers.$$"
"$objdump" -d --no-show-raw-insn "$dll" >"${TMPDIR:-/tmp}/zq_align_code.$$"
trap 'rm -f "${TMPDIR:-/tmp}/zq_align_headers.$$" "${TMPDIR:-/tmp}/zq_align_code.$$"' EXIT

ZQ_ALIGN_ALLOWED=$allowed awk '
BEGIN {
    count = split(ENVIRON["ZQ_ALIGN_ALLOWED"], lines, "\n")
    for (i = 1; i <= count; i++) {
        line = lines[i]
        sub(/[ \t]*#.*$/, "", line)
        sub(/^[ \t]+/, "", line)
        if (line == "") continue
        split(line, fields, /[ \t]+/)
        allow[fields[1] " " fields[2]] = 1
    }
}
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
    if (mnemonic ~ /^v/ || operands !~ /%xmm/) next
    if (mnemonic ~ /^(movups|movupd|movdqu|lddqu|movd|movq|movss|movsd|movl?h?p[sd]|movhlps|movlhps|movddup|pinsr[bwdq]|pextr[bwdq]|extractps|insertps|pmov[sz]x[a-z]+|cvt[a-z0-9]+|u?comis[sd]|(add|sub|mul|div|sqrt|max|min|cmp[a-z]*|rcp|rsqrt|round)s[sd])$/) next
    # The memory operand: based on registers, or at a fixed address.
    if (operands ~ /\(/) {
        if (realigned || (mnemonic " " operands) in allow) next
        printf "%x: %s %s in the function at %x, which does not align its frame\n", address, mnemonic, operands, function_start
        bad++
        next
    }
    count = split(operands, parts, ",")
    for (i = 1; i <= count; i++) {
        part = parts[i]
        if (part ~ /^[$%]/ && part !~ /^%[a-z]s:/) continue
        sub(/^%[a-z]s:/, "", part)
        if (part !~ /^(0x)?[0-9a-f]+$/) continue
        if (hex(part) % 16 != 0) {
            printf "%x: %s %s at a fixed address that is not 16-byte aligned\n", address, mnemonic, operands
            bad++
        }
    }
}
END {
    if (bad) exit 1
    printf "no aligned SSE memory operand outside a realigned frame or off a 16-byte boundary\n"
}
' "${TMPDIR:-/tmp}/zq_align_headers.$$" "${TMPDIR:-/tmp}/zq_align_code.$$" "${TMPDIR:-/tmp}/zq_align_code.$$"
