; Names of every kind in MMX operands, for NASM (elf32): pakhod must write
; the same instructions and relocations as NASM assembles from this file.
; encoded: 39
	bits 32
	extern ext_table, ext_mask
	global start

ROW	equ 16			; a value
%assign COLUMNS 4		; a value, then another
%assign COLUMNS COLUMNS*2
%define HALF 4+4		; text: HALF*2 is 4+4*2
%define SRC esi			; a register alias
%define mmA mm3
%xdefine WIDE ROW*COLUMNS
BYTE_BIT equ 8

	section .data
table:	dq 0, 1, 2, 3
mask	dq 0x00ff00ff00ff00ff
	section .bss
scratch	resq 4

	section .text
start:
	movq	mm0, [esi+table]
	movq	mm1, [table]
	movq	mm2, [table+eax*4]
	movq	mm3, [esi+table+8]
	movq	mm5, [ebp+table]
	movq	mm6, [esp+table+16]
	movq	[edi+scratch], mm7
	movd	mm0, [ext_table]
	movq	mm1, [ecx+edx*2+ext_mask]
	pand	mm2, [mask]
	movq	mm3, [esi+ROW]
	movq	mm4, [esi+ROW*8]
	movq	mm5, [esi+COLUMNS]
	movq	mm6, [esi+HALF*2]
	movq	mm7, [SRC+8]
	movq	mmA, [SRC]
	movq	mm0, [SRC+eax*4+table]
	movq	mm1, [esi+WIDE]
	psllq	mm2, BYTE_BIT
	psllq	mm3, 2 * BYTE_BIT
	movq	mm7, [eax+ebx+ebx+table]
	movq	mm0, [eax+ebx+ebx+8]
	movq	mm1, [.local+8]
.local:	dd 0, 0, 0
	movq	mm2, [esi+later]	; a constant defined below: 32 bits here, 8 for NASM

; Conditionals NASM decides: the branch it skips is copied, what the branch
; it takes defines counts after it.
%ifdef UNDEFINED_SYMBOL
SHIFT	equ 99
	psrlw	mm4, SHIFT
%else
SHIFT	equ 3
	psrlw	mm4, SHIFT
%endif
%if 1
DEEP	equ 24
	psrad	mm5, DEEP-20
%endif

%assign COLUMNS 12		; redefined: the line below sees 12
	movq	mm4, [esi+COLUMNS]

; Bodies: a name defined once in the file, or not at all.
%macro LOADROW 0
	movq	mm1, [esi+table+ROW]
	psrlw	mm1, BYTE_BIT
	movq	mm2, [edi+STRIDE]
%endmacro
	LOADROW
	LOADROW
%rep 2
	paddb	mm0, [esi+table]
%endrep
STRIDE	equ 200

	movq	mm6, qword [SRC+table]
	movq	mm7, [es:table]
	pxor	mm1, [ds:esi+ROW]
	punpcklbw mm2, [scratch+4]
; Labels in front of the mnemonic, and ebp beside another register (the
; first written is the base: its segment)
.next:	movq	mm0, [esi+eax*8]
..@wide: movq	mm1, [ebp+ecx+8]
	pxor	mm1, [ecx+ebp]
done:	emms
later	equ 40
