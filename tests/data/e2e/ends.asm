; LF
	paddb mm0, mm1
	movq mm0, [esi+table]
	movq mm1, [table]

	psrlw mm2, 4