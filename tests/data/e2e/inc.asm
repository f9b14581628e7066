%include "defs.inc"
	movq	mm0, [x_ptr+8]
	psrlw	mm1, SHIFT
