{ blend.pas - 50% blend of two 32-bit pixels in MMX, as a Delphi unit.

  pakhod rewrites every MMX instruction in the asm block below as a DB
  list of its bytes, the instruction kept in a // comment on its line.
  Everything else stays as it is: Pascal code, comments, strings, other
  instructions, the x86-64 branch (whole), and the MMX lines it must not
  encode (marked "stays"): a name is the compiler's to address. }
// encoded: 15
unit blend;

{$IFDEF FPC} {$mode delphi} {$asmmode intel} {$ENDIF}

interface

function Blend50(A, B: Cardinal): Cardinal;

implementation

const
  LowBits: Int64 = $0101010101010101;

{ Averages every byte of A and B, rounding down:
  (a shr 1 and 7Fh) + (b shr 1 and 7Fh) + (a and b and 1). }
function Blend50(A, B: Cardinal): Cardinal; assembler;
asm
{$IFDEF CPUX64}
        MOVD     MM0, ECX         // x86-64: this branch stays whole
        MOVD     MM1, EDX
{$ELSE}
        MOVD     MM0, EAX         // A
        MOVD     MM1, EDX         // B
{$ENDIF}
        MOVQ     MM2, MM0
        PAND     MM2, MM1         (* a and b ... *)
        PAND     MM2, LowBits     // stays: a name
        PCMPEQB  MM6, MM6
        PSRLW    MM6, 9; PACKUSWB MM6, MM6   { 7Fh in every byte }
        PSRLQ    MM0, 1
        PSRLQ    MM1, 1
        PAND     MM0, MM6
        PAND     MM1, MM6
        PADDB    MM0, MM1
        PADDB    MM0, MM2
        MOVD     EAX, MM0         // the result
        EMMS
end;

end.
