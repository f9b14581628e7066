; Names from an include tree: register aliases and sizes a header chooses
; by %ifdef, a nested include, a macro with parameters from a header found
; only through -I sub/. NASM assembles it as it is and after pakhod, with
; and without -DALT_POINTERS.
; encoded: 11
%include "common.inc"
%include "blocks.inc"

	bits	32
	section	.text
	global	rgb_to_gray
rgb_to_gray:
	movq	mm0, [x_ptr]
	movd	mm2, [x_ptr+x_stride*2]
	movq	mm1, [y_ptr+PIXEL_STEP]
	psllw	mm7, BYTE_BIT
	movq	mm3, MMWORD [MMBLOCK(1, 0, y_ptr, SIZEOF_COEF)]
	movq	mm4, [MMBLOCK(0, 1, x_ptr, SIZEOF_COEF)]
	pmulhw	mm5, [coef_table+PIXEL_STEP]
	movd	x_stride_d, mm0
%ifdef ALT_POINTERS
	paddw	mm6, [x_ptr+2*PIXEL_STEP]
%else
	psubw	mm6, [y_ptr+2*PIXEL_STEP]
%endif
	movq	[y_ptr+x_stride*2], mm1
	emms
	ret

	section	.data
coef_table:	dq	0x0001000100010001, 0x0002000200020002, 0x0003000300030003
