// The terrain's two shader program texts, byte for byte, as the tests feed
// them to the assembler.
#pragma once

namespace asm_test {

inline const char kVertexText[] =
    "vs.1.0                             //Shader version 1.0\t\t\t\n"
    "dp4     oPos.x , v0   , c4         //emit projected x position\t\t\n"
    "dp4     oPos.y , v0   , c5         //emit projected y position\t\t\n"
    "dp4     oPos.z , v0   , c6         //emit projected z position\t\t\n"
    "dp4     oPos.w , v0   , c7         //emit projected w position\t\t\n"
    "mov r3,v11      // transform tan to world space\n"
    "mov r5,v3      // transform norm to world space\n"
    "mul r0,r3.zxyw,r5.yzxw   // cross prod to generate binormal\n"
    "mad r4,r3.yzxw,r5.zxyw,-r0\n"
    "dp3 r6.x,r3,-c12      // transform the light vector, \n"
    "dp3 r6.y,r4,-c12      // by resulting matrix\n"
    "dp3 r6.z,r5,-c12      // r6 is light dir in tan space\n"
    "mad oD0.xyz,r6.xyz,c20,c20   //multiply by a half then add half\n"
    "mov oD0.w, c12.z   \n"
    "mov r1, v0\t\t\t\n"
    "mov r1.y, c0.x\t\t\t\n"
    "add r1, r1, -c10;\t\t\n"
    "dp3 r1, r1, r1\t\t\t\n"
    "rsq r1.w, r1.w\t\t\t\n"
    "rcp r1.w, r1.w\t\t\t\n"
    "mul oFog, r1.w, c0.z\t//Add Fog\t\t\n"
    "mov     oT0.xy , v7                //copy texcoords\t\t\t\t\n"
    "mov     oT1.xy , v8                //copy texcoords\t\t\t\t\n"
    "mov     oT2.xy , v9                //copy texcoords\t\t\t\t\n"
    "mov     oT3.xy , v10                //copy texcoords\t\t\t\t\n"
    ;
inline const char kPixelText[] =
    "// texture only         \n"
    "ps.1.1                  \n"
    "tex t0                  \n"
    "tex t1                  \n"
    "tex t2\t\t\t\t\t\n"
    "tex t3\t\t\t\t\t\n"
    "lrp    r0, t1.a, t1, t0 \n"
    "dp3_sat r1, t3_bx2, v0_bx2    ; t3 is bump, v0 is light direction\n"
    "mul\tr1.rgb, c2, r1 ; \n"
    "add\tr1.rgb, c0, r1 ;\n"
    "mul\tr0.rgb, r0, r1\t\n"
    "mov\tr0.a, t0.a\t\n"
    ;

}  // namespace asm_test
