; add two rows of pixels
row:
	db		00fh,0fch,0c1h		;	paddb mm0, mm1
	mov eax, 1
	db		00fh,071h,0d2h,004h		;	psrlw mm2, 4 ; halve
	db		00fh,077h		;	emms
