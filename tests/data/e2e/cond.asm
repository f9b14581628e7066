%ifdef WIDE
%define STEP 16
%else
%define STEP 8
%endif
	movq	mm0, [esi+STEP]
	movq	mm1, [esi+SIZE]
