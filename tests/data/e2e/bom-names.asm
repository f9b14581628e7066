%define SRC esi
	movq mm0, [SRC+8]
