; MASM's INCLUDE and IFDEF: constants an include file chooses by IFDEF,
; as GNU as reads them (.include, .ifdef), with and without -DWIDE_ROWS.
; encoded: 6
        .686
        .mmx
        .model  flat
        INCLUDE pixdefs.inc

        .data
LowMask         dq      000FF00FF00FF00FFh

        .code
_halve_row PROC
        movq    mm0, [esi+ROW_BYTES]
        movq    mm1, STEP_BYTES[esi]
        psrlw   mm0, SHIFT_BITS
        pand    mm0, LowMask
        paddw   mm1, [esi+ROW_BYTES+STEP_BYTES]
        movq    [edi+ROW_BYTES], mm0
        ret
_halve_row ENDP
        END
