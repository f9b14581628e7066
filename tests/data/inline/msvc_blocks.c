/* MSVC-style inline MMX, as video and image libraries write it: register
   names and strides by #define, macros of __asm statements continued with
   backslashes, braced blocks with labels and C variables. Compiled with
   clang -m32 -fasm-blocks before and after pakhod. */
// encoded: 45
#include <stddef.h>

#define SRC esi
#define DST edi
#define YSTRIDE ecx
#define YSTRIDE3 edx
#define ROUND_SHIFT 3
#define ROW_BYTES 8

#if defined(_M_X64) || defined(__x86_64__)
/* 64-bit builds take the C path: this branch is never compiled here */
#define LOAD_PAIR(_off) __asm movq mm0, [rsi+_off] __asm movq mm1, [rdx+_off]
#else
#define LOAD_PAIR(_off) \
  __asm movq mm0, [SRC+_off] \
  __asm movq mm1, [SRC+YSTRIDE+_off] /* second row */ \
  __asm pxor mm7, mm7
#endif

/* Sums of absolute differences for an 8x4 block: the macro above, then
   unpacking and adding, the way codec motion searches write it. */
#define ACCUMULATE_ROWS \
  __asm psubusb mm0, mm1 \
  __asm movq mm2, mm0 \
  __asm punpcklbw mm0, mm7 \
  __asm punpckhbw mm2, mm7 \
  __asm paddw mm0, mm2

static const char *const mmx_notes = "__asm movq mm0, [esi] is text here; so is _asm { emms }";
static int asm_calls; /* identifiers that contain asm are C */

void block_sad(const unsigned char *src, int ystride, unsigned short *out) {
  int rows = 4;
  __asm {
    mov SRC, src
    mov YSTRIDE, ystride
    lea YSTRIDE3, [YSTRIDE+YSTRIDE*2]
    LOAD_PAIR(0)
    ACCUMULATE_ROWS
    movq mm6, mm0            ; keep the first sum
    add SRC, YSTRIDE
  next_row:
    movq mm0, [SRC]
    movq mm1, [SRC+YSTRIDE3+ROW_BYTES]   // a row further down
    psubusb mm0, mm1
    paddusw mm6, mm0
    dec rows
    jnz next_row
    movq mm3, mm6
    psrlq mm3, 32
    paddw mm6, mm3
    movd eax, mm6
    mov DST, out
    mov [DST], ax
    emms
  }
  asm_calls++;
}

/* Averages two rows with rounding, in the style of PNG row filters. */
void average_rows(unsigned char *row, const unsigned char *prev, size_t n) {
  static const unsigned long long low_bits = 0x0101010101010101ULL;
  __asm
  {
    mov edi, row
    mov esi, prev
    mov ecx, n
    shr ecx, 3
    movq mm5, low_bits      ; a C variable: stays as it was
  avg_loop:
    movq mm0, [edi]
    movq mm1, [esi]
    movq mm2, mm0
    pand mm2, mm1
    pxor mm0, mm1
    psrlq mm0, 1
    pand mm0, [esi+ecx*8-8]
    paddb mm0, mm2
    movq [edi], mm0
    add edi, 8
    add esi, 8
    dec ecx
    jnz avg_loop
    emms
  }
}

/* Shifts and saturating arithmetic as __asm statements, several on a line
   and in a macro, the way plugin filters write short helpers. */
#define FADE_STEP __asm psubusw mm0, mm4 __asm psrlw mm0, ROUND_SHIFT
void fade(unsigned char *pixels, int count, int level) {
  __asm mov esi, pixels
  __asm movd mm4, level
  __asm punpcklwd mm4, mm4 __asm punpckldq mm4, mm4
  __asm pxor mm7, mm7
  for (; count > 0; --count) {
    __asm movd mm0, [esi]
    __asm punpcklbw mm0, mm7
    FADE_STEP;
    __asm packuswb mm0, mm7 __asm movd [esi], mm0
    __asm add esi, 4
  }
  __asm emms
}

/* Later integer forms on mm registers, segment overrides and comments
   that look like assembly. */
int later_forms(const short *words) {
  int mask;
  __asm {
    mov esi, words
    movq mm0, qword ptr [esi]
    pshufw mm1, mm0, 0x1B      /* reverse the words */
    pmaxsw mm0, mm1
    pminsw mm1, [esi+8]
    pavgb mm0, mm1
    pextrw eax, mm0, 2
    pinsrw mm2, eax, 1
    pmovmskb eax, mm2
    movq mm3, ds:[esi+16]
    // movq mm4, [esi]   a comment, not code
    pmulhuw mm3, mm0 ; movq mm5, mm3 in a comment
    psadbw mm3, mm1
    mov mask, eax
    emms
  }
  return mask;
}
