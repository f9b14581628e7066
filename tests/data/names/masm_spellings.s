# MASM's spellings of memory operands, and data named alone, as GNU as reads
# them in .intel_syntax: pakhod must write the same instructions.
# encoded: 21
	.intel_syntax noprefix
	.equ	OFFSET_Y, 3
	.equ	SHIFT, 2
	.data
table:	.quad 0, 1, 2, 3
MaskConst: .quad 0x00ff00ff00ff00ff
qwTemp:	.quad 0
	.text
	movq	mm0, 0x90909090[eax]
	movq	mm1, table[esi]
	movq	mm2, table[esi+8]
	movq	mm3, [esi][ebx*2]
	movq	mm4, 8[esi][ebx*2]
	movq	mm5, qword ptr table[esi]
	movq	mm6, table[esi][ebx*4]
	pand	mm0, MaskConst
	pand	mm1, MaskConst+8
	movq	qwTemp, mm5
	movq	mm7, qword ptr MaskConst
	movq	mm0, [esi+OFFSET_Y*8]
	psllq	mm1, SHIFT
	psllq	mm2, MaskConst
	movq	mm3, es:table[esi]
	movq	mm4, OFFSET_Y[ebp]
	movq	mm5, table[esp]
row:	movq	mm6, table[esi][ebp]
1:	pand	mm7, MaskConst
# GNU's conditionals, decided as GNU as decides them
	.ifdef	NOT_GIVEN
	.equ	SHIFT2, 4
	.else
	.equ	SHIFT2, 3
	.endif
	psllq	mm1, SHIFT2
	.if	SHIFT2 == 3
	.equ	OFFSET2, 16
	.else
	.equ	OFFSET2, 32
	.endif
	movq	mm2, [esi+OFFSET2]
