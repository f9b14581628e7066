/* __asm { movq mm0, [esi] } in a comment */
#include <stddef.h>
#if 0
#define SRC edi
#else
#define SRC esi // the source
#endif
#define STEP 8 /* bytes */
static const char *text = "__asm { paddb mm0, mm1 }";
static const char brace = '{', quote = '"';
int my__asm_count, _asm_x, asmx;
void blocks(int x) {
  __asm { movq mm0, mm1 }
  __asm
  {
    movq mm0, [SRC+STEP]   ; __asm paddb mm0, mm1 in a comment
    lbl: psrlw mm0, STEP
    movq mm1, [esi] /* c */ + 8
    movq mm2, x
    movd eax, mm0
    paddb mm0, mm1 // add
  }
  _asm pxor mm0, mm0 __asm pand mm1, mm2
  if (x) __asm emms }
#define LOAD \
  __asm movq mm0, [esi] \
  __asm paddb mm0, \
    mm1
#ifdef _WIN64 // a 64-bit build
void wide(void) { __asm movq mm0, [esi] }
#elif defined(_M_IX86)
void narrow(void) { __asm movq mm0, [esi] }
#endif
#ifndef _M_X64
void narrow2(void) { __asm movq mm0, [esi] }
#else
void wide2(void) { __asm movq mm0, [esi] }
#endif
void wide3(void) {
  __asm {
    mov rax, rcx
    movq mm0, [esi]
  }
}
static const char *raw = R"x(" __asm movq mm0, [esi] ")x";
static const char *joined = "a string \
__asm movq mm0, [esi]";
// a comment that a backslash continues \
__asm movq mm0, [esi]
#define DST edi
/*
#define DST ebx
*/
void g(void) { __asm movq [DST], mm0 }
#define ROW esi
#define LOAD_ROW __asm movq mm0, [ROW]
#undef ROW
#define ROW edi
#define LOAD_AT(ROW) __asm movq mm1, [ROW]
/* a/b
#define DST ebx
*/
void h(int v) { __asm movq [DST], mm1 __asm movq mm0, qword ptr [v] __asm pshufw mm0, [DST+STEP], 3 }
static const char *cut = "no closing quote __asm movq mm0, [esi]
void wide4(void) { __asm { movd mm3, r10d } }
#define DST2 edi // the destination
void q(int x) { __asm movq [DST2], mm0 __asm psrlw mm0, 1+x }
