// File: rc4.cpp
//
// RC4: the key-scheduling algorithm and the output stage (the "PRGA"), with
// the published keystreams of RFC 6229 as their reference. See rc4.h.
#include "engines/rc4.h"

#include "engines/byte_order.h"

namespace zq {
namespace {

// stepAhead is one step of the output stage: t <- S[i], j <- j + t, swap
// S[i] and S[j]; the keystream byte is the low byte of the entry it returns,
// S[t + S[i]]. The caller has stepped i already and passes its entry as
// `slot` (&S[i]) and the entry's value t in `next`. Every index is taken
// modulo 256, which is what lets entries and indices with high bits act
// through their low 8 bits only: a sum modulo 256 depends on nothing else.
//
// The step also reads ahead: it leaves in `next` the entry at `ahead`, the
// S[i + 1] that the following step starts from. That entry is read before
// this step's two stores, not after them, so that the read need not wait
// for the store to S[j], whose address comes only at the end of this step's
// chain: the one case where the swap changes it, j = i + 1, is put right
// afterwards (S[i + 1] is then t).
inline const uint32_t* stepAhead(uint32_t* sbox, uint32_t* slot, const uint32_t* ahead, uintptr_t& j,
                                 uint32_t& next) noexcept {
    const uint32_t t = next;
    j = (j + t) & 0xFF;
    const uint32_t u = sbox[j];
    next = *ahead;
    *slot = u;
    sbox[j] = t;
    if (sbox + j == ahead) next = t;
    return sbox + ((t + u) & 0xFF);
}

// gather moves `word` down by one byte and puts the low byte of `*entry` in
// its top byte; after four bytes the first one is lowest.
inline void gather(uint32_t& word, const uint32_t* entry) noexcept { word = word >> 8 | (*entry & 0xFF) << 24; }

// xorWords combines the eight bytes at `input` with the keystream words
// `low` (the first four bytes) and `high` into `output`, and moves both on
// by eight. Eight keystream bytes are gathered into two 32-bit words in
// registers rather than into a byte array: single-byte stores read back as
// one word cannot be forwarded by the processor. All eight input bytes are
// loaded before any output byte is stored, so crypting in place is safe.
inline void xorWords(const uint8_t*& input, uint8_t*& output, uint32_t low, uint32_t high) noexcept {
    const uint32_t first = loadLittle32(input) ^ low;
    const uint32_t second = loadLittle32(input + 4) ^ high;
    storeLittle32(output, first);
    storeLittle32(output + 4, second);
    input += 8;
    output += 8;
}

#if defined(__i386__) || defined(__x86_64__)
// RowRun is what runGroups needs to see of the output stage: the table, the
// row S[i + 1 …] the first group starts at, j, and the two byte pointers;
// j and the pointers come back moved on.
struct RowRun {
    uint32_t* sbox;
    uint32_t* row;
    uintptr_t j;
    const uint8_t* input;
    uint8_t* output;
};

// runGroups runs `groups` (at least 1) groups of eight steps whose entries
// S[i + 1 … i + 9] all lie in a row, in hand-scheduled code; the ninth entry
// is the one the last step reads ahead.
//
// Each step reads the next step's entry before its own two stores, as
// stepAhead does. Read after them, the entry's load would be issued while
// the store to S[j] still waits for j, and the processor, which lets such a
// load go first, has to undo the work that followed whenever the two
// turned out to meet; that cost about a fifth of the time. The one step in
// 256 where S[j] is the entry read ahead then takes a branch that puts t
// there. A branch rather than a conditional move: the move would make every
// entry wait for the comparison with j, and so lengthen the chain from one
// j to the next, where the branch is predicted and costs only when taken.
#endif

#if defined(__i386__)
// On i386 the table, the row, j, the step's entry, the entry read ahead, the
// keystream word and one scratch register take all seven registers; the
// input and output pointers and the input's end wait on the stack. The
// block saves and restores every register it uses, ebp and ebx included, so
// that it builds the same with a frame pointer or a PIC register. The byte
// operations on j and on t + u need t in ecx, so the entry read ahead, in
// ebp, moves there at the end of each step.
inline void runGroups(RowRun& run, uint32_t groups) noexcept {
#define ZQ_RC4_STEP(k)                                                            \
    "addb %%cl, %%bl\n\t"                    /* j <- j + t */                     \
    "movl (%%edi,%%ebx,4), %%edx\n\t"        /* u <- S[j] */                      \
    "movl 4*(" #k "+1)(%%esi), %%ebp\n\t"    /* the next entry, S[i + 1] */       \
    "movl %%ecx, (%%edi,%%ebx,4)\n\t"        /* S[j] <- t */                      \
    "movl %%edx, 4*" #k "(%%esi)\n\t"        /* S[i] <- u */                      \
    "addb %%cl, %%dl\n\t"                                                         \
    "movzbl %%dl, %%edx\n\t"                 /* t + u modulo 256 */               \
    "movb (%%edi,%%edx,4), %%al\n\t"         /* the keystream byte, into eax */   \
    "rorl $8, %%eax\n\t"                                                          \
    "leal -4*(" #k "+1)(%%edi,%%ebx,4), %%edx\n\t"                                \
    "cmpl %%edx, %%esi\n\t"                  /* was S[j] the next entry? */       \
    "jne 2f\n\t"                                                                  \
    "movl %%ecx, %%ebp\n"                                                         \
    "2:\n\t"                                                                      \
    "movl %%ebp, %%ecx\n\t"
    RowRun* frame = &run;
    uintptr_t distance = static_cast<uintptr_t>(run.output - run.input);
    const uint8_t* end = run.input + 8 * groups;
    __asm__ volatile(
        "pushl %%ebp\n\t"
        "pushl %%ebx\n\t"
        "pushl %%esi\n\t"
        "pushl %%edi\n\t"
        "pushl %[end]\n\t"
        "pushl %[distance]\n\t"
        "pushl 12(%[run])\n\t"
        "pushl %[run]\n\t"  // 0(%esp) run, 4 input, 8 distance, 12 end of input
        "movl 0(%[run]), %%edi\n\t"
        "movl 4(%[run]), %%esi\n\t"
        "movl 8(%[run]), %%ebx\n\t"
        "movl (%%esi), %%ecx\n"
        "1:\n\t"
        ZQ_RC4_STEP(0) ZQ_RC4_STEP(1) ZQ_RC4_STEP(2) ZQ_RC4_STEP(3)
        "movl 4(%%esp), %%edx\n\t"
        "xorl (%%edx), %%eax\n\t"
        "addl 8(%%esp), %%edx\n\t"
        "movl %%eax, (%%edx)\n\t"
        ZQ_RC4_STEP(4) ZQ_RC4_STEP(5) ZQ_RC4_STEP(6) ZQ_RC4_STEP(7)
        "movl 4(%%esp), %%edx\n\t"
        "xorl 4(%%edx), %%eax\n\t"
        "addl $8, 4(%%esp)\n\t"
        "addl 8(%%esp), %%edx\n\t"
        "movl %%eax, 4(%%edx)\n\t"
        "addl $32, %%esi\n\t"
        "movl 4(%%esp), %%edx\n\t"
        "cmpl 12(%%esp), %%edx\n\t"
        "jne 1b\n\t"
        "popl %%ecx\n\t"
        "movl %%ebx, 8(%%ecx)\n\t"
        "popl %%edx\n\t"
        "movl %%edx, 12(%%ecx)\n\t"
        "popl %%eax\n\t"
        "addl %%eax, %%edx\n\t"
        "movl %%edx, 16(%%ecx)\n\t"
        "popl %%edx\n\t"
        "popl %%edi\n\t"
        "popl %%esi\n\t"
        "popl %%ebx\n\t"
        "popl %%ebp\n\t"
        : [run] "+a"(frame), [distance] "+c"(distance), [end] "+d"(end)
        :
        : "cc", "memory");
#undef ZQ_RC4_STEP
}
#elif defined(__x86_64__)

// runGroups, the same loop on x86-64, where the compiler can be left to
// choose the registers among sixteen, and the entry and the one read ahead
// trade places from step to step instead of moving.
inline void runGroups(RowRun& run, uint32_t groups) noexcept {
#define ZQ_RC4_STEP(k, t, next)                                  \
    "addb %b[" #t "], %b[j]\n\t"                                 \
    "movl (%[sbox],%[j],4), %k[u]\n\t"                           \
    "movl 4*(" #k "+1)(%[row]), %k[" #next "]\n\t"               \
    "movl %k[" #t "], (%[sbox],%[j],4)\n\t"                      \
    "movl %k[u], 4*" #k "(%[row])\n\t"                           \
    "addb %b[" #t "], %b[u]\n\t"                                 \
    "movzbl %b[u], %k[u]\n\t"                                    \
    "movb (%[sbox],%[u],4), %b[word]\n\t"                        \
    "rorl $8, %k[word]\n\t"                                      \
    "leaq -4*(" #k "+1)(%[sbox],%[j],4), %[u]\n\t"               \
    "cmpq %[u], %[row]\n\t"                                      \
    "jne 2f\n\t"                                                 \
    "movl %k[" #t "], %k[" #next "]\n"                           \
    "2:\n\t"
    uint32_t* row = run.row;
    uintptr_t j = run.j;
    const uint8_t* input = run.input;
    uint8_t* output = run.output;
    const uint8_t* const end = input + 8 * static_cast<uintptr_t>(groups);
    uintptr_t t, next, u, word;
    __asm__ volatile(
        "movl (%[row]), %k[t]\n"
        "1:\n\t"
        ZQ_RC4_STEP(0, t, next) ZQ_RC4_STEP(1, next, t) ZQ_RC4_STEP(2, t, next) ZQ_RC4_STEP(3, next, t)
        "xorl (%[input]), %k[word]\n\t"
        "movl %k[word], (%[output])\n\t"
        ZQ_RC4_STEP(4, t, next) ZQ_RC4_STEP(5, next, t) ZQ_RC4_STEP(6, t, next) ZQ_RC4_STEP(7, next, t)
        "xorl 4(%[input]), %k[word]\n\t"
        "movl %k[word], 4(%[output])\n\t"
        "addq $32, %[row]\n\t"
        "addq $8, %[input]\n\t"
        "addq $8, %[output]\n\t"
        "cmpq %[end], %[input]\n\t"
        "jne 1b\n\t"
        : [row] "+r"(row), [j] "+r"(j), [input] "+r"(input), [output] "+r"(output), [t] "=&q"(t),
          [next] "=&q"(next), [u] "=&q"(u), [word] "=&q"(word)
        : [sbox] "r"(run.sbox), [end] "r"(end)
        : "cc", "memory");
#undef ZQ_RC4_STEP
    run.j = j;
    run.input = input;
    run.output = output;
}
#endif

}  // namespace

void Rc4State::setKey(const uint8_t* key, uint32_t length) noexcept {
    for (uint32_t k = 0; k < 256; ++k) sbox[k] = k;
    i = 0;
    j = 0;
    if (length == 0) return;

    // The key index wraps by comparison, not by a remainder.
    uint32_t mixer = 0;
    uint32_t keyIndex = 0;
    for (uint32_t k = 0; k < 256; ++k) {
        const uint32_t t = sbox[k];
        mixer = (mixer + t + key[keyIndex]) & 0xFF;
        sbox[k] = sbox[mixer];
        sbox[mixer] = t;
        if (++keyIndex == length) keyIndex = 0;
    }
}

void Rc4State::crypt(uint32_t count, const uint8_t* input, uint8_t* output) noexcept {
    if (count == 0) return;
    uint32_t x = i & 0xFF;
    uintptr_t y = j & 0xFF;

    // Each step reads the next step's entry S[i + 1] ahead (stepAhead).
    // While i stays below 247 a group's entries S[i + 1 … i + 8], and the
    // ninth that its last step reads ahead, lie in a row, reached at fixed
    // offsets from one pointer, and the entry read ahead is carried from
    // group to group. The one group in 32 that gets near 255, and the last
    // count mod 8 steps, reduce each index by itself.
    auto entry = [&](uint32_t index) { return sbox + (index & 0xFF); };
    uint32_t groups = count >> 3;
    while (groups != 0) {
        if (x >= 247) {
            uint32_t low = 0, high = 0, next = *entry(x + 1);
            for (uint32_t k = 1; k <= 8; ++k) {
                gather(k <= 4 ? low : high, stepAhead(sbox, entry(x + k), entry(x + k + 1), y, next));
            }
            x = (x + 8) & 0xFF;
            xorWords(input, output, low, high);
            --groups;
            continue;
        }
#if defined(__i386__) || defined(__x86_64__)
        const uint32_t run = (254 - x) / 8 < groups ? (254 - x) / 8 : groups;
        RowRun frame{sbox, sbox + x + 1, y, input, output};
        runGroups(frame, run);
        y = frame.j;
        input = frame.input;
        output = frame.output;
        x += 8 * run;
        groups -= run;
#else
        uint32_t next = sbox[x + 1];
        do {
            uint32_t* const row = sbox + x + 1;
            uint32_t low = 0, high = 0;
            gather(low, stepAhead(sbox, row, row + 1, y, next));
            gather(low, stepAhead(sbox, row + 1, row + 2, y, next));
            gather(low, stepAhead(sbox, row + 2, row + 3, y, next));
            gather(low, stepAhead(sbox, row + 3, row + 4, y, next));
            gather(high, stepAhead(sbox, row + 4, row + 5, y, next));
            gather(high, stepAhead(sbox, row + 5, row + 6, y, next));
            gather(high, stepAhead(sbox, row + 6, row + 7, y, next));
            gather(high, stepAhead(sbox, row + 7, entry(x + 9), y, next));
            x += 8;
            xorWords(input, output, low, high);
            --groups;
        } while (groups != 0 && x < 247);
#endif
    }

    for (uint32_t rest = count & 7; rest != 0; --rest) {
        uint32_t next = *entry(x + 1);
        *output++ = static_cast<uint8_t>(*input++ ^ *stepAhead(sbox, entry(x + 1), entry(x + 2), y, next));
        x = (x + 1) & 0xFF;
    }

    i = x;
    j = static_cast<uint32_t>(y);
}

}  // namespace zq
