	paddb mm0, xmm1
	paddb mm0, mm1
