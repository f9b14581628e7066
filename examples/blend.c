/* blend.c - 50% blend of two rows of 32-bit pixels in MMX, written for
   MSVC's inline assembler (clang reads it with -m32 -fasm-blocks).

   pakhod rewrites every MMX instruction in the __asm blocks and statements
   below as _emit bytes, the instruction kept in a comment on its line.
   Everything else stays as it is: C code, comments, strings, preprocessor
   lines, other instructions, and the MMX lines it must not encode (marked
   "stays"): _emit takes numbers only, so a line naming a C variable stays,
   and so does one that writes a general register, which the compiler
   would not see in bytes. */
// encoded: 16

#define SRC_A esi            /* register names by #define: pakhod reads them */
#define SRC_B edx
#define HALVE 1

static const unsigned long long low_bits = 0x0101010101010101ULL;

/* Each step averages two pixels of a with two pixels of b, rounding down:
   (a >> 1 & 7fh) + (b >> 1 & 7fh) + (a & b & 1) in every byte. */
void blend_rows(unsigned *dst, const unsigned *a, const unsigned *b, int count) {
  __asm {
    mov edi, dst
    mov SRC_A, a
    mov SRC_B, b
    mov ecx, count
    movq mm7, low_bits         ; stays: a C variable
    pcmpeqb mm6, mm6
    psrlw mm6, 9               ; 007fh in every word ...
    packuswb mm6, mm6          ; ... then 7fh in every byte
    xor eax, eax
  next:
    movq mm0, [SRC_A+eax*8]
    movq mm1, [SRC_B+eax*8]
    movq mm2, mm0
    pand mm2, mm1              // a & b
    pand mm2, mm7              // the low bit lost by halving
    psrlq mm0, HALVE
    psrlq mm1, 1
    pand mm0, mm6
    pand mm1, mm6
    paddb mm0, mm1
    paddb mm0, mm2
    movq [edi+eax*8], mm0
    inc eax
    cmp eax, ecx
    jb next
  }
  __asm emms                   /* a statement of its own */
}
