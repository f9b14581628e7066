; blend.asm - 50% blend of two rows of 32-bit pixels, and a row fill, in MMX.
;
; pakhod rewrites every MMX instruction below as a db directive holding its
; machine code, with the instruction kept as a comment. Everything else stays
; as it is: these comments, labels, directives and integer instructions. A
; label before an MMX instruction stays in front of its db line; a label it
; leaves to the assembler: the address goes in a dd line after the db line.

        bits    32

HALVE   equ     1                       ; shift count used by name below

        section .text

; void blend_rows(uint32_t *dst, const uint32_t *a, const uint32_t *b,
;                 int count)                       -- cdecl, count >= 1
; Each step averages two pixels of a with two pixels of b, rounding down:
; (a >> 1 & 7fh) + (b >> 1 & 7fh) + (a & b & 1) in every byte.
        global  blend_rows
blend_rows:
        push    ebp
        mov     ebp, esp
        push    esi
        push    edi
        mov     edi, [ebp+8]            ; dst
        mov     esi, [ebp+12]           ; a
        mov     edx, [ebp+16]           ; b
        mov     ecx, [ebp+20]           ; count
        movq    mm7, [low_bits]         ; the address is a dd line after it
        movq    mm6, [high_mask]
        xor     eax, eax
.next:  movq    mm0, [esi+eax*8]        ; the label stays in front
        movq    mm1, [edx+eax*8]
        movq    mm2, mm0
        pand    mm2, mm1                ; a & b
        pand    mm2, mm7                ; the low bit lost by halving
        psrlq   mm0, HALVE              ; HALVE is defined above: 1
        psrlq   mm1, 1
        pand    mm0, mm6
        pand    mm1, mm6
        paddb   mm0, mm1
        paddb   mm0, mm2
        movq    [edi+eax*8], mm0
        inc     eax
        cmp     eax, ecx
        jb      .next
        emms
        pop     edi
        pop     esi
        pop     ebp
        ret

; void fill_row(uint32_t *dst, uint32_t pixel, int count) -- count >= 1
; Writes pixel to 2 * count places, eight bytes at a time, from the end.
        global  fill_row
fill_row:
        mov     eax, [esp+4]            ; dst
        movd    mm0, [esp+8]            ; pixel
        mov     ecx, [esp+12]           ; count
        punpckldq mm0, mm0              ; pixel in both halves
.store:
        movq    [eax+ecx*8-8], mm0
        dec     ecx
        jnz     .store
        movd    edx, mm0                ; the pixel back, as a result
        mov     eax, edx
        emms
        ret

        align   8
low_bits:       dq      0x0101010101010101
high_mask:      dq      0x7f7f7f7f7f7f7f7f
