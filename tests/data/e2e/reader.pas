unit reader; { asm in a comment: movq mm0, mm1 }
(* asm movq mm0, mm1 end *)
// asm movq mm0, mm1
interface
const
  Note = 'asm paddb mm0, mm1 end; it''s text';
var
  AsmLevel, TAsmCount: Integer;
implementation
procedure Plain; assembler;
asm
        movq    mm0, [eax+ecx*8-8]    // memory, scaled index
        movd    [edx], mm1 //
        movq    mm1, es:[edi+$10]
        psrlw   mm0, $08; psllq mm1, 4
        { end; in a comment } paddb mm0, mm1
        (* end
           on two lines *)
@@Next: pxor    mm2, mm2
        db      $90               // a data byte stays
        movq    mm3, QMask
        paddb   mm0, { between } mm1
        paddb   mm0, mm9
        emms
end;
procedure Nested;
begin
  AsmLevel := 1;
  begin
    asm
      pand mm0, mm1
    end;
  end;
end;
procedure Wide; assembler;
asm
        mov     rax, rcx
        movq    mm0, [eax]
        emms
end;
procedure Branches; assembler;
asm
{$IFDEF CPUX64}
        movd    mm1, [edx]
{$ELSE}
        movd    mm1, [edx]
{$ENDIF}
{$IFNDEF CPUX64}
        por     mm1, mm2
{$ELSE}
        por     mm1, mm2
{$ENDIF}
{$IF Defined(CPU64) or Defined(WIN64)}
        por     mm3, mm4
{$IFEND}
(*$IFDEF WIN64*)
        pxor    mm3, mm3
(*$ENDIF*)
{$ASMMODE ATT}
        emms
{$ASMMODE INTEL}
        emms
end;
procedure Labelled; assembler;
asm
        emms
@@Exit: end;
procedure Emms;
begin
  Emms;  { Pascal: a call, not the instruction }
end;
end.
