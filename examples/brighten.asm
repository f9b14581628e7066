; brighten.asm: adds one brightness to a row of pixels, 24 bytes at a time,
; with unsigned saturation, writing the result through ES. Written the way
; NASM sources write MMX code: size keywords without "ptr", the segment
; override inside the brackets, constants spelled as arithmetic.
;
;   nasm -f bin brighten.asm          (an assembler with MMX)
;   pakhod brighten.asm out.asm       (for one without)

        bits    32

ROW     equ     640                     ; bytes per row

; esi: source row, edi: destination row (in ES), ebx: parameters,
; ecx: blocks of 24 bytes
brighten:
        movd    mm6, dword [ebx+4*4]    ; brightness in the low byte
        punpcklbw mm6, mm6
        punpcklwd mm6, mm6
        punpckldq mm6, mm6              ; ... in all eight bytes
        movq    mm7, qword [esi+ROW*2]  ; ROW is defined above: 1280
.next:
        movq    mm0, qword [esi]
        movq    mm1, [esi+8*1]
        movq    mm2, [esi+2*(4+4)]
        paddusb mm0, mm6
        paddusb mm1, mm6
        paddusb mm2, mm6
        movq    [es:edi], mm0
        movq    qword [es:edi+8], mm1
        movq    [es:edi+16], mm2
        add     esi, 8*3
        add     edi, 8*3
        dec     ecx
        jnz     .next

        ; halve the last block in place, then clear the parameter slot
        movq    mm3, [es:edi-8*3]
        psrlw   mm3, 16-15
        psllw   mm3, (4-4)
        movq    [es:edi-24], mm3
        pxor    mm4, mm4
        movd    dword [fs:ebx+4*ecx], mm4
        emms
        ret
