// A request's JSON turned into the exports to call, each argument checked
// against the width and kind of the frame field it fills before anything
// goes on the line: a text that would be cut, a non-digit in a number, a
// code of the wrong form is refused, naming the field and the rule.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "generated/exports.h"

namespace vltxd {

struct Call {
    std::string Export;
    std::vector<std::string> Args;
};

// What a task asks a worker to do.
struct Plan {
    std::string Kind;         // receipt, call, report, readout, cmc7
    std::vector<Call> Steps;  // in order; the first that fails ends the task
    bool CancelOnFailure = false;
    Call Cancel;              // the receipt's cancellation when a step fails
    bool File = false;        // the last step streams into the task's file
    int Wait = 0;             // report: the step that waits on the printer (1-based), 0 none

    nlohmann::json ToJson() const;
    static Plan FromJson(const nlohmann::json& j);
};

struct Invalid {
    std::string Field;  // "items[0].price"
    std::string Rule;   // "at most 9 digits"
};

const generated::Export* FindExport(const std::string& name);
const char* CodeMeaning(int code);  // the driver's own meaning of a code, or null

// A request's body as JSON; false when it is not JSON or nests deeper than
// the parser's stack allows.
bool ParseBody(const std::string& text, nlohmann::json& body, std::string& why);

// Each returns false with the first fault found.
bool ValidateReceipt(const nlohmann::json& body, Plan& plan, Invalid& fault);
bool ValidateCall(const std::string& exportName, const nlohmann::json& body, Plan& plan, Invalid& fault);
bool ValidateReport(const nlohmann::json& body, Plan& plan, Invalid& fault);
bool ValidateReadout(const nlohmann::json& body, Plan& plan, Invalid& fault);
bool ValidateCmc7(const nlohmann::json& body, Plan& plan, Invalid& fault);

}  // namespace vltxd
