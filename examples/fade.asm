; fade.asm - fades a row of 16-bit RGB565 pixels toward black, in MMX,
; written in MASM's spellings: data named without brackets, EQU constants,
; displacements before the brackets and brackets side by side.
;
; pakhod rewrites each MMX line as a db directive; where an operand names
; data, the address is a dd line after the db line, for the assembler to
; fill in. The result needs no MMX support from the assembler.

        .386
        .model  flat

FADE_SHIFT      EQU     1               ; halve each channel
PIXELS_PER_STEP EQU     4
STEP_BYTES      EQU     PIXELS_PER_STEP * 2

        .data
RedMask         dq      0F800F800F800F800h
GreenMask       dq      07E007E007E007E0h
BlueMask        dq      001F001F001F001Fh
Saved           dq      0
Shifts          dq      1, 2, 3, 4

        .code
; void fade_row(uint16_t *row, int steps)        -- cdecl, steps >= 1
_fade_row PROC
        push    esi
        push    ebx
        mov     esi, [esp+12]           ; row
        mov     ecx, [esp+16]           ; steps
        xor     ebx, ebx
        movq    Saved, mm7              ; a data name alone is memory
next_step:
        movq    mm0, [esi][ebx*8]       ; four pixels
        movq    mm1, mm0
        movq    mm2, mm0
        pand    mm0, RedMask
        pand    mm1, qword ptr GreenMask
        pand    mm2, BlueMask
        psrlw   mm0, FADE_SHIFT + 10
        psrlw   mm1, FADE_SHIFT + 5
        psrlw   mm2, FADE_SHIFT
        psllw   mm0, 11
        psllw   mm1, 5
        pand    mm0, RedMask
        pand    mm1, GreenMask
        por     mm0, mm1
        por     mm0, mm2
        movq    STEP_BYTES[esi][ebx*8-8], mm0
        movq    mm3, Shifts[ebx*8]      ; a table indexed by the step
        psrlq   mm3, Shifts             ; a count or memory: Shifts is data, so memory
        inc     ebx
        dec     ecx
        jnz     next_step
        movq    mm7, Saved
        emms
        pop     ebx
        pop     esi
        ret
_fade_row ENDP
        END
