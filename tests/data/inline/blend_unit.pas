{ Delphi-style MMX routines in the manner of 2D graphics libraries: whole
  routines declared assembler, asm blocks inside begin ... end, labels,
  locals named in operands, and 32-bit and 64-bit branches side by side.
  Compiled by Free Pascal before and after pakhod; Free Pascal targets
  x86-64 here, so the 32-bit branches are read but not compiled. }
// encoded: 31
unit blend_unit;

{$mode delphi}
{$asmmode intel}
{$IFDEF CPUX86_64} {$DEFINE TARGET_x64} {$ENDIF}
{$IFDEF CPU386} {$DEFINE TARGET_x86} {$ENDIF}

interface

function BlendReg(F, B: Cardinal): Cardinal;
procedure ShiftPair;
procedure MergeLine(Src, Dst: Pointer; Count: Integer);
function LaneMask(Value: Cardinal): Cardinal;

implementation

const
  Banner = 'asm movq mm0, [esi] end; (* not code *)';

function BlendReg(F, B: Cardinal): Cardinal; assembler; nostackframe;
asm
{$IFDEF TARGET_x64}
        MOVD      MM0, ECX        // F
        MOVD      MM1, EDX        // B
{$ELSE}
        MOVD      MM0, EAX
        MOVD      MM1, EDX
{$ENDIF}
        PXOR      MM7, MM7
        PUNPCKLBW MM0, MM7        { widen to words }
        PUNPCKLBW MM1, MM7
        PSUBW     MM0, MM1
        PSLLW     MM1, 8; PADDW MM0, MM1
        PSRLW     MM0, $08        (* back to bytes, end of the blend *)
        PACKUSWB  MM0, MM7
        MOVD      EAX, MM0
        EMMS
end;

procedure ShiftPair; assembler; nostackframe;
asm
@@Again:
        movq    mm2, mm3
        psllq   mm2, 32
        psrad   mm3, 3 ; psraw mm4, 1
        pcmpeqb mm5, mm5        { end; in a comment does not close the block }
        pandn   mm5, mm2
        por     mm2, mm5
        paddusb mm2, mm3
        pmaddwd mm4, mm2
        emms
end;

procedure MergeLine(Src, Dst: Pointer; Count: Integer);
var
  QMask: Int64;
begin
  QMask := $00FF00FF00FF00FF;
  if Count > 0 then
  begin
    asm
{$IFDEF TARGET_x86}
        MOV     ECX, Count
        MOV     EAX, Src
        MOV     EDX, Dst
@@Loop: MOVQ    MM0, [EAX+ECX*8-8]
        PAND    MM0, [EDX+ECX*8-8]
        MOVQ    [EDX+ECX*8-8], MM0
        DEC     ECX
        JNZ     @@Loop
{$ENDIF}
{$IFDEF TARGET_x64}
        MOV     R8D, Count
        MOV     RAX, Src
        MOVD    MM1, [EDX]      // 32-bit address in 64-bit code: left whole
        MOVQ    MM0, [RAX]
        MOVQ    [RDX], MM0
{$ENDIF}
        MOVQ    MM2, QMask      // a local: the compiler's to address
        EMMS
    end;
  end;
end;

function LaneMask(Value: Cardinal): Cardinal;
begin
  asm
        PXOR     MM6, MM6
        PCMPGTB  MM6, MM0
        PMULLW   MM6, MM1
        PMULHW   MM6, MM1
        EMMS
  end;
  Result := Value;
end;

end.
