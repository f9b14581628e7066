	paddb mm0, xmm1
	psrlw mm0, 260
	paddb mm0, mm1
