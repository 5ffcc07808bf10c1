#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/model/ResultData.h"
#include "data/model/ResultVariable.h"
#include "formula/FormulaNode.h"

namespace kurvex {

// Value of column `column` at sample `sample`, given the evaluation context.
using FormulaValueSource = double (*)(std::int32_t column, std::int32_t sample, void* context);
// Samples first .. first + count - 1 of a column as one contiguous array, or
// null when the source cannot hand them out that way (the engine then asks the
// value source sample by sample).
using FormulaColumnSource = const double* (*)(std::int32_t column, std::int32_t first,
                                              std::int32_t count, void* context);

// Where a formula was rejected and why.
struct FormulaError {
    std::int32_t position = 0;  // index into the trimmed, upper-cased text
    std::string message;        // empty when there is nothing to tell the user
};

// Messages of a rejected formula.
inline constexpr const char* kFormulaInvalidEntry = "Invalid entry.";
inline constexpr const char* kFormulaUnmatchedClosing = "Unmatched closing parenthesis.";
inline constexpr const char* kFormulaUnmatchedOpen = "Unmatched parenthesis.";
inline constexpr const char* kFormulaInvalid = "Invalid formula.";
inline constexpr const char* kFormulaRunUnsorted =
    "The X values of this run are not in ascending order.";

// A run a formula may name: NAME@K (K from 1) or NAME@"name" reads variable
// NAME of that run; a plain NAME reads the run the formula is evaluated over.
struct FormulaRun {
    std::string name;
    std::vector<std::string> variables;
};

// A variable of another run that a formula reads, and where the text named it.
struct FormulaRunReference {
    std::int32_t run = 0;       // from 0: run 2 is 1
    std::int32_t column = 0;    // in that run
    std::int32_t position = 0;  // of the "@"
};

// A compiled curve formula. Evaluates column by column in blocks of samples;
// the results are those of evaluating each sample through the postfix sequence.
class CFormula : public VariableFormula, public FormulaNodeHost {
public:
    // `timeStep` is the X step the running functions use.
    explicit CFormula(double timeStep = 0.0) : timeStep_(timeStep) {}
    ~CFormula() override;
    CFormula(const CFormula&) = delete;
    CFormula& operator=(const CFormula&) = delete;

    // Compiles `text` over the column names (index = column), then the
    // constants' names, each standing for its value as a number written there
    // would (a column of the same name wins); on failure the formula has no
    // root and Error() tells where and why.
    bool Compile(const std::string& text, const std::vector<std::string>& names,
                 const std::vector<ResultConstant>& constants = {});
    // Compiles `text` over runs[own]'s variables, where NAME@K and NAME@"name"
    // may also name variables of the other runs (see RunReferences).
    bool CompileOverRuns(const std::string& text, const std::vector<FormulaRun>& runs,
                         std::int32_t own = 0);
    // Sets where variables read their samples; `columns` is an optional fast path.
    void SetValueSource(FormulaValueSource source, FormulaColumnSource columns = nullptr);
    // Computes samples first .. end - 1 into values[] and flags[] (2 for a NaN, an
    // infinity or a denormal, else 1). Running functions start afresh when first
    // is 0 and otherwise continue from the previous call.
    void EvaluateRange(void* context, double* values, std::uint8_t* flags, std::int32_t first,
                       std::int32_t end);
    // The same into arrays that begin at sample first: values[0] is sample first's.
    void EvaluateBlockRange(void* context, double* values, std::uint8_t* flags, std::int32_t first,
                            std::int32_t end);
    // Forgets the compiled formula, the time step, the context and the error.
    void Clear();
    // Sets every running function back to its start.
    void ResetRunning();

    // The samples CYCAVG sees (0: up to the end of each evaluation). Its
    // values depend on later samples, so evaluating in pieces gives the same
    // values as evaluating at once only with the count given.
    void SetSampleCount(std::int32_t count) { sampleCount_ = count; }

    // The X step of AVG, INT and HIPASS.
    double TimeStep() const final { return timeStep_; }
    // Changes the X step, e.g. for a high-pass formula put on a data set.
    void SetTimeStep(double dt) { timeStep_ = dt; }
    // The sample being (or last) evaluated.
    std::int32_t CurrentSample() const final { return currentSample_; }
    // The value source's value of `column` at `sample` in the current context.
    double SourceValue(std::int32_t column, std::int32_t sample) const final;

    // The tree, or null when not compiled.
    const CFormulaNode* Root() const { return root_.get(); }
    // The nodes in evaluation order (a list root is not among them).
    const std::vector<CFormulaNode*>& Postfix() const { return postfix_; }
    // The variable nodes in the order they appear in the text.
    const std::vector<FormulaVariableNode*>& VariableNodes() const { return variables_; }
    // The other runs' variables the formula reads, each once: the value source
    // is asked for reference k as column (own run's variable count) + k, with
    // the samples of the own run.
    const std::vector<FormulaRunReference>& RunReferences() const { return runReferences_; }
    // True when every variable the text names carries a run (NAME@K), so that
    // its samples are the same whichever run it is evaluated over.
    bool EveryNameNamesRun() const { return root_ && plainNames_ == 0; }
    // Values the evaluation stack needs at its deepest.
    std::int32_t StackDepth() const { return stackDepth_; }
    // Why the last compile failed; position 0 and no message after a success.
    const FormulaError& Error() const { return error_; }

private:
    friend std::unique_ptr<CFormula> BuildHighPassFormula(std::int32_t column,
                                                          const std::string& name);

    // One postfix node with the stack slot its result lands in.
    struct Step {
        CFormulaNode* node;
        std::int32_t slot;
        std::int32_t constant;  // index of a number's buffer, or -1
        bool square;            // a power whose exponent is the literal 2
        std::int32_t begin;     // postfix index where the node's subtree begins
    };
    // A CYCAVG or GD node with the steps that compute its operands.
    struct CycleStage {
        FormulaPreparedNode* node;
        std::int32_t slot;
        std::vector<Step> operands;
        std::vector<double> x;      // one block of X
        std::vector<double> block;  // slot 0's block when the node is the root
    };

    class Compiler;  // the shunting-yard over the text, in Formula.cpp

    void ClearCompiled();
    // `runs` may be null: then only run 1 exists and it has no name.
    bool CompileWith(const std::string& text, const std::vector<std::string>& names,
                     const std::vector<FormulaRun>* runs, std::int32_t own = 0,
                     const std::vector<ResultConstant>* constants = nullptr);
    bool Fail(std::int32_t position, const char* message);
    // Builds the tree and the evaluation program from the postfix output.
    bool Assemble(std::vector<std::unique_ptr<CFormulaNode>> output);
    // The steps of postfix_[from, to) with each CYCAVG or GD standing in for its subtree.
    std::vector<Step> Collapse(const std::vector<Step>& all, std::int32_t from,
                               std::int32_t to) const;
    void RunSteps(const std::vector<Step>& steps, double* out, std::int32_t first,
                  std::int32_t count);
    void EvaluateBlock(double* out, std::int32_t first, std::int32_t count);
    // Makes every CYCAVG and GD ready to answer for samples 0 .. count - 1.
    void PrepareCycles(std::int32_t count);
    // X of samples first .. first + n - 1.
    void ReadX(double* x, std::int32_t first, std::int32_t n);
    // Feeds samples from .. to - 1 of X and the stage's operands to its node.
    void FeedStage(CycleStage& stage, std::int32_t pass, std::int32_t from, std::int32_t to);
    // Starts the stage's node and its operands' running functions afresh.
    void RestartStage(CycleStage& stage);
    // The stage's values of samples first .. first + n - 1.
    void AnswerStage(CycleStage& stage, double* out, std::int32_t first, std::int32_t n);

    double timeStep_ = 0.0;
    std::int32_t currentSample_ = 0;
    std::unique_ptr<CFormulaNode> root_;
    std::vector<CFormulaNode*> postfix_;
    std::vector<FormulaVariableNode*> variables_;
    std::vector<FormulaRunReference> runReferences_;
    std::int32_t plainNames_ = 0;  // variables named without a run
    void* context_ = nullptr;
    FormulaValueSource valueSource_ = nullptr;
    FormulaColumnSource columnSource_ = nullptr;
    FormulaError error_;

    std::vector<Step> program_;       // without the CYCAVG operands' steps
    std::vector<CycleStage> stages_;  // innermost first
    std::int32_t sampleCount_ = 0;
    std::int32_t prepared_ = 0;  // samples CYCAVG and GD are ready for
    std::int32_t stackDepth_ = 0;
    std::int32_t constants_ = 0;
    std::int32_t blockSize_ = 0;
    std::vector<double> scratch_;  // one block per stack slot, then one per number
    std::vector<const double*> slotData_;
};

// HIPASS of one column, made without parsing, for the high-pass data set; its
// time step starts at 1e-5.
std::unique_ptr<CFormula> BuildHighPassFormula(std::int32_t column, const std::string& name);

}  // namespace kurvex
