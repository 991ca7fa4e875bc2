// Speed of the expression evaluator: arithmetic with precedence, string
// concatenation with built-ins, a condition on variables and a bracket
// expansion. The runtime is brought up once for the whole program.
#include <benchmark/benchmark.h>

#include "core/dyn_strings.h"
#include "core/mem_pool.h"
#include "core/temp_stack.h"
#include "language/brackets.h"
#include "language/evaluator.h"
#include "language/variables.h"

namespace {

struct Runtime {
  Runtime() {
    MemConfigure(512, 64);
    InitVariables();
    DynSet(0, 4, Lit("ES"));
    const TempMarkValue mark = TempMark();
    Evaluate(Lit("A=7;B$='XYZ';C#=2.5"));
    TempRelease(mark);
  }
  ~Runtime() {
    ReleaseVariables();
    RuntimeMemoryShutdown();
  }
};

Runtime& Up() {
  static Runtime runtime;
  return runtime;
}

void BM_ArithmeticWithPrecedence(benchmark::State& state) {
  Up();
  const StrDesc text = Lit("2+3*4-10/4+(7-2)*3!1-8%25");
  for (auto _ : state) {
    const TempMarkValue mark = TempMark();
    benchmark::DoNotOptimize(Evaluate(text));
    TempRelease(mark);
  }
}
BENCHMARK(BM_ArithmeticWithPrecedence);

void BM_ConcatenationWithBuiltins(benchmark::State& state) {
  Up();
  const StrDesc text = Lit("'abc'+FN$TRIM('  xyz  ')+FN$MIDS('hello';2;3)");
  for (auto _ : state) {
    const TempMarkValue mark = TempMark();
    benchmark::DoNotOptimize(Evaluate(text));
    TempRelease(mark);
  }
}
BENCHMARK(BM_ConcatenationWithBuiltins);

void BM_ConditionWithVariables(benchmark::State& state) {
  Up();
  const StrDesc text = Lit("A>5&&B$=='XY*'||C#*2<1");
  for (auto _ : state)
    benchmark::DoNotOptimize(EvaluateCondition(text));
}
BENCHMARK(BM_ConditionWithVariables);

void BM_BracketExpansion(benchmark::State& state) {
  Up();
  const StrDesc text = Lit("Total: [C#*A] items of [B$] on [A+1]");
  for (auto _ : state) {
    const TempMarkValue mark = TempMark();
    benchmark::DoNotOptimize(ExpandBrackets(text, 0));
    TempRelease(mark);
  }
}
BENCHMARK(BM_BracketExpansion);

}  // namespace

BENCHMARK_MAIN();
