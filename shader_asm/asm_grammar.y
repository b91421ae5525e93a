/* Grammar of vs.1.x and ps.1.x shader texts. The actions only call into
   asm_operands.cpp, which checks operands and builds the tokens. There are
   no error-recovery rules: the first syntax error ends the parse. */

%code requires {
#include "shader_asm/asm_context.h"
}

%code {
#include <cstring>

/* The state and value stacks hold 500 entries and never grow. The parser
   calls a stack full while its last slot is taken, so it gets one more. */
#define YYINITDEPTH 501
#define YYMAXDEPTH 501

int qvasmlex(QVASMSTYPE* value, qvasm::Context& ctx) { return qvasm::Lex(value, ctx); }

void qvasmerror(qvasm::Context& ctx, const char* message) {
  /* The parser reports a full stack as exhausted memory. */
  if (std::strcmp(message, "memory exhausted") == 0) message = "yacc stack overflow";
  qvasm::Report(ctx, "%s", message);
}
}

%define api.pure full
%define api.prefix {qvasm}
%define api.token.prefix {QVASM_}
%define api.value.type {qvasm::AsmValue}
%param {qvasm::Context& ctx}

%token VS PS DEF
%token OP0 OP1 OP2 OP3 OP4
%token IDENT INTEGER FLOAT
%token EOT BADCHAR

%%

text
  : header EOT
  | header body EOT
  ;

header
  : VS '.' INTEGER '.' INTEGER
      { qvasm::SetVersion(ctx, qvasm::ShaderKind::Vertex, $3.integer, $5.integer); }
  | PS '.' INTEGER '.' INTEGER
      { qvasm::SetVersion(ctx, qvasm::ShaderKind::Pixel, $3.integer, $5.integer); }
  ;

body
  : instructions
  | definitions instructions
  ;

definitions
  : definition
  | definitions definition
  ;

definition
  : defkw register ',' value ',' value ',' value ',' value
      {
        const float values[4] = {$4.real, $6.real, $8.real, $10.real};
        qvasm::Define(ctx, $2, values);
      }
  ;

defkw
  : DEF
  ;

instructions
  : instruction
  | instructions instruction
  ;

instruction
  : kw0 { qvasm::Instruction(ctx, $1, nullptr, 0); }
  | kw1 dst { qvasm::Instruction(ctx, $1, &$2, 1); }
  | kw2 dst ',' src
      {
        const qvasm::AsmValue ops[2] = {$2, $4};
        qvasm::Instruction(ctx, $1, ops, 2);
      }
  | kw3 dst ',' src ',' src
      {
        const qvasm::AsmValue ops[3] = {$2, $4, $6};
        qvasm::Instruction(ctx, $1, ops, 3);
      }
  | kw4 dst ',' src ',' src ',' src
      {
        const qvasm::AsmValue ops[4] = {$2, $4, $6, $8};
        qvasm::Instruction(ctx, $1, ops, 4);
      }
  ;

/* A leading '+' co-issues the instruction with the one before it. */
kw0 : OP0 { $$ = qvasm::Keyword($1, false); } | '+' OP0 { $$ = qvasm::Keyword($2, true); } ;
kw1 : OP1 { $$ = qvasm::Keyword($1, false); } | '+' OP1 { $$ = qvasm::Keyword($2, true); } ;
kw2 : OP2 { $$ = qvasm::Keyword($1, false); } | '+' OP2 { $$ = qvasm::Keyword($2, true); } ;
kw3 : OP3 { $$ = qvasm::Keyword($1, false); } | '+' OP3 { $$ = qvasm::Keyword($2, true); } ;
kw4 : OP4 { $$ = qvasm::Keyword($1, false); } | '+' OP4 { $$ = qvasm::Keyword($2, true); } ;

dst
  : register { $$ = qvasm::Destination(ctx, $1, nullptr); }
  | register '.' IDENT { $$ = qvasm::Destination(ctx, $1, &$3); }
  ;

src
  : srcreg { $$ = qvasm::Source(ctx, $1, qvasm::SourceForm::Plain); }
  | '-' srcreg { $$ = qvasm::Source(ctx, $2, qvasm::SourceForm::Negate); }
  | INTEGER '-' srcreg { $$ = qvasm::Source(ctx, $3, qvasm::SourceForm::Complement); }
  ;

srcreg
  : register { $$ = qvasm::WithSelector($1, nullptr); }
  | register '.' IDENT { $$ = qvasm::WithSelector($1, &$3); }
  ;

register
  : IDENT { $$ = qvasm::PlainRegister(ctx, $1); }
  | IDENT '[' index ']' { $$ = qvasm::IndexedRegister(ctx, $1, $3); }
  ;

/* Right recursive: every further term of an index deepens the parser stack. */
index
  : indexterm
  | indexterm '+' index { $$ = qvasm::CombineIndex(ctx, $1, $3); }
  ;

indexterm
  : srcreg { $$ = qvasm::IndexRegisterTerm(ctx, $1); }
  | INTEGER { $$ = qvasm::IndexIntegerTerm($1); }
  ;

value
  : number
  | '+' number { $$ = $2; }
  | '-' number { $$ = $2; $$.real = -$2.real; }
  ;

number
  : INTEGER
  | FLOAT
  ;

%%
