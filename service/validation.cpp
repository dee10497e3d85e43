#include "validation.h"

#include <algorithm>
#include <cstring>

namespace vltxd {

using nlohmann::json;
using generated::Kind;

const generated::Export* FindExport(const std::string& name) {
    for (const generated::Export& e : generated::Exports)
        if (name == e.Name) return &e;
    return nullptr;
}

const char* CodeMeaning(int code) {
    for (const generated::Code& c : generated::Codes)
        if (c.Value == code) return c.Meaning;
    return nullptr;
}

json Plan::ToJson() const {
    json steps = json::array();
    for (const Call& c : Steps) steps.push_back({{"export", c.Export}, {"args", c.Args}});
    json j = {{"kind", Kind}, {"steps", steps}, {"file", File}, {"wait", Wait}};
    if (CancelOnFailure) j["cancel"] = {{"export", Cancel.Export}, {"args", Cancel.Args}};
    return j;
}

Plan Plan::FromJson(const json& j) {
    Plan p;
    p.Kind = j.at("kind").get<std::string>();
    for (const json& s : j.at("steps")) p.Steps.push_back({s.at("export"), s.at("args")});
    p.File = j.value("file", false);
    p.Wait = j.value("wait", 0);
    if (j.contains("cancel")) {
        p.CancelOnFailure = true;
        p.Cancel = {j["cancel"].at("export"), j["cancel"].at("args")};
    }
    return p;
}

namespace {

bool Printable(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7e) return false;
    return true;
}

bool Digits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// One argument against the frame field it fills.
bool CheckField(const generated::Param& p, const std::string& v, const std::string& field, Invalid& fault) {
    const std::string w = std::to_string(p.Width);
    if (!Printable(v)) {
        fault = {field, "printable ASCII only (32 to 126): the printer receives the bytes unconverted"};
        return false;
    }
    switch (p.Type) {
        case Kind::Char:
            if (v.size() != 1) {
                fault = {field, "exactly one character"};
                return false;
            }
            return true;
        case Kind::Left:
        case Kind::Right:
        case Kind::Free:
            if (v.size() > static_cast<std::size_t>(p.Width)) {
                fault = {field, "at most " + w + " characters (it would be cut)"};
                return false;
            }
            return true;
        case Kind::Number:
            if (!Digits(v) || v.size() > static_cast<std::size_t>(p.Width)) {
                fault = {field, "1 to " + w + " digits"};
                return false;
            }
            return true;
        case Kind::Int32: {
            const std::string d = !v.empty() && v[0] == '-' ? v.substr(1) : v;
            if (!Digits(d) || v.size() > static_cast<std::size_t>(p.Width)) {
                fault = {field, "an integer of at most " + w + " characters, sign included"};
                return false;
            }
            return true;
        }
        case Kind::Text:
        case Kind::Path:
        case Kind::Buffer:
            break;
    }
    fault = {field, "not a frame field: this parameter cannot come from a request"};
    return false;
}

// A string member of an object, checked against parameter i of the export.
struct Builder {
    Invalid& fault;

    bool Str(const json& obj, const char* key, const std::string& where, bool required, std::string& out) {
        const std::string field = where.empty() ? key : where + "." + key;
        if (!obj.is_object() || !obj.contains(key)) {
            if (!required) return true;
            fault = {field, "required"};
            return false;
        }
        if (!obj[key].is_string()) {
            fault = {field, "a JSON string"};
            return false;
        }
        out = obj[key].get<std::string>();
        return true;
    }

    // The arguments of one call, each from a member of obj, in the
    // export's parameter order.
    bool Step(const char* exportName, const json& obj, const std::string& where,
              std::initializer_list<std::pair<const char*, bool>> members, Plan& plan) {
        const generated::Export* e = FindExport(exportName);
        Call c{exportName, {}};
        int i = 0;
        for (auto [key, required] : members) {
            std::string v;
            if (!Str(obj, key, where, required, v)) return false;
            const std::string field = where.empty() ? key : where + "." + key;
            if ((required || !v.empty()) && !CheckField(e->Params[i], v, field, fault)) return false;
            c.Args.push_back(v);
            ++i;
        }
        plan.Steps.push_back(std::move(c));
        return true;
    }

    bool Rule(bool ok, const std::string& field, const std::string& rule) {
        if (!ok) fault = {field, rule};
        return ok;
    }
};

bool Object(const json& j, const std::string& field, Invalid& fault) {
    if (j.is_object()) return true;
    fault = {field, "a JSON object"};
    return false;
}

bool OnlyKeys(const json& j, std::initializer_list<const char*> keys, const std::string& where, Invalid& fault) {
    for (auto it = j.begin(); it != j.end(); ++it) {
        bool known = false;
        for (const char* k : keys) known = known || it.key() == k;
        if (!known) {
            // A member named "" is still named, so that the answer points at it.
            const std::string name = it.key().empty() ? "\"\"" : it.key();
            fault = {where.empty() ? name : where + "." + name, "unknown member"};
            return false;
        }
    }
    return true;
}

// How deep the arrays and objects of a JSON text nest, without parsing it.
int Depth(const std::string& s) {
    int depth = 0, max = 0;
    bool str = false, esc = false;
    for (char c : s) {
        if (str) {
            if (esc) esc = false;
            else if (c == '\\') esc = true;
            else if (c == '"') str = false;
            continue;
        }
        if (c == '"') str = true;
        else if (c == '[' || c == '{') max = std::max(max, ++depth);
        else if (c == ']' || c == '}') --depth;
    }
    return max;
}

// Digits with the decimals implied.
bool Amount(const std::string& s) { return Digits(s); }

// A tax code: an upper-case letter, then a digit or an upper-case letter.
bool TaxCode(const std::string& s) {
    auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
    return (s.size() == 1 || s.size() == 2) && upper(s[0]) && (s.size() == 1 || upper(s[1]) || (s[1] >= '0' && s[1] <= '9'));
}

}  // namespace

bool ParseBody(const std::string& text, json& body, std::string& why) {
    if (Depth(text) > 32) {
        why = "the JSON nests deeper than 32 levels";
        return false;
    }
    body = json::parse(text, nullptr, false);
    if (body.is_discarded()) {
        why = "the body is not valid JSON";
        return false;
    }
    return true;
}

bool ValidateReceipt(const json& body, Plan& plan, Invalid& fault) {
    plan = Plan{};
    plan.Kind = "receipt";
    Builder b{fault};
    if (!Object(body, "body", fault) ||
        !OnlyKeys(body, {"items", "subtotal", "buyer", "payments", "advertising", "operator"}, "", fault))
        return false;
    std::string operador;
    if (!b.Str(body, "operator", "", true, operador) ||
        !CheckField(FindExport("ecf_FechaCupom")->Params[0], operador, "operator", fault))
        return false;
    if (!b.Rule(!operador.empty(), "operator", "required")) return false;
    plan.CancelOnFailure = true;
    plan.Cancel = {"ecf_CancelaCupom", {operador}};

    plan.Steps.push_back({"ecf_ImprimeCabecalho", {}});
    if (!b.Rule(body.contains("items") && body["items"].is_array() && !body["items"].empty(), "items",
                "a list of one item or more"))
        return false;
    int i = 0;
    for (const json& item : body["items"]) {
        const std::string w = "items[" + std::to_string(i++) + "]";
        if (!Object(item, w, fault) ||
            !OnlyKeys(item, {"code", "description", "quantity", "price", "tax", "unit", "decimals", "discount"}, w,
                      fault) ||
            !b.Step("ecf_VendaItem", item, w,
                    {{"code", true}, {"description", true}, {"quantity", true}, {"price", true}, {"tax", true},
                     {"unit", true}, {"decimals", true}},
                    plan))
            return false;
        const std::vector<std::string>& a = plan.Steps.back().Args;
        if (!b.Rule(Amount(a[2]), w + ".quantity", "digits only, decimals implied") ||
            !b.Rule(Amount(a[3]), w + ".price", "digits only, decimals implied") ||
            !b.Rule(TaxCode(a[4]), w + ".tax", "a tax code: an upper-case letter and a digit or letter (T1, F1, II)") ||
            !b.Rule(a[6].size() == 1 && a[6][0] >= '0' && a[6][0] <= '3', w + ".decimals", "one digit, 0 to 3"))
            return false;
        if (item.contains("discount")) {
            const std::string d = w + ".discount";
            if (!Object(item["discount"], d, fault) || !OnlyKeys(item["discount"], {"type", "description", "value"}, d, fault) ||
                !b.Step("ecf_DescontoItem", item["discount"], d, {{"type", true}, {"description", true}, {"value", true}},
                        plan) ||
                !b.Rule(Amount(plan.Steps.back().Args[2]), d + ".value", "digits only, decimals implied"))
                return false;
        }
    }
    if (body.contains("subtotal")) {
        const json& s = body["subtotal"];
        if (!Object(s, "subtotal", fault) || !OnlyKeys(s, {"kind", "description", "value"}, "subtotal", fault))
            return false;
        std::string kind;
        if (!b.Str(s, "kind", "subtotal", true, kind) ||
            !b.Rule(kind == "discount" || kind == "surcharge", "subtotal.kind", "\"discount\" or \"surcharge\"") ||
            !b.Step(kind == "discount" ? "ecf_DescontoSubtotal" : "ecf_AcrescimoSubtotal", s, "subtotal",
                    {{"description", true}, {"value", true}}, plan) ||
            !b.Rule(Amount(plan.Steps.back().Args[1]), "subtotal.value", "digits only, decimals implied"))
            return false;
    }
    if (body.contains("buyer")) {
        const json& s = body["buyer"];
        if (!Object(s, "buyer", fault) ||
            !OnlyKeys(s, {"name", "type", "document", "address1", "address2"}, "buyer", fault) ||
            !b.Step("ecf_IdComprador", s, "buyer",
                    {{"name", true}, {"type", true}, {"document", true}, {"address1", false}, {"address2", false}},
                    plan) ||
            !b.Rule(Digits(plan.Steps.back().Args[2]), "buyer.document", "digits only"))
            return false;
    }
    if (!b.Rule(body.contains("payments") && body["payments"].is_array() && !body["payments"].empty(), "payments",
                "a list of one payment or more: a receipt is not closed without payment"))
        return false;
    i = 0;
    for (const json& p : body["payments"]) {
        const std::string w = "payments[" + std::to_string(i++) + "]";
        if (!Object(p, w, fault) || !OnlyKeys(p, {"form", "description", "value"}, w, fault) ||
            !b.Step("ecf_Pagamento", p, w, {{"form", true}, {"description", true}, {"value", true}}, plan))
            return false;
        const std::vector<std::string>& a = plan.Steps.back().Args;
        if (!b.Rule(a[0].size() == 2, w + ".form", "a payment form code of two digits (01 to 99)") ||
            !b.Rule(a[0] != "00", w + ".form", "a payment form code of two digits (01 to 99)") ||
            !b.Rule(Amount(a[2]), w + ".value", "digits only, decimals implied"))
            return false;
    }
    if (body.contains("advertising")) {
        if (!b.Rule(body["advertising"].is_array(), "advertising", "a list of strings")) return false;
        i = 0;
        for (const json& line : body["advertising"]) {
            const std::string w = "advertising[" + std::to_string(i++) + "]";
            if (!b.Rule(line.is_string(), w, "a JSON string") ||
                !CheckField(FindExport("ecf_Propaganda")->Params[0], line.get<std::string>(), w, fault))
                return false;
            plan.Steps.push_back({"ecf_Propaganda", {line.get<std::string>()}});
        }
    }
    plan.Steps.push_back({"ecf_FechaCupom", {operador}});
    return true;
}

bool ValidateCall(const std::string& exportName, const json& body, Plan& plan, Invalid& fault) {
    plan = Plan{};
    plan.Kind = "call";
    const generated::Export* e = FindExport(exportName);
    if (e == nullptr) {
        fault = {"export", "no export of that name"};
        return false;
    }
    if (e->Code[0] == '\0' || e->Void) {
        fault = {"export", "controls the driver itself: the service owns it"};
        return false;
    }
    if (!body.is_array()) {
        fault = {"body", "a JSON array of strings, one per parameter"};
        return false;
    }
    for (int i = 0; i < e->NumParams; ++i) {
        const generated::Param& p = e->Params[i];
        if (p.Type == Kind::Path || p.Type == Kind::Text) {
            fault = {"export", std::string("takes a ") + (p.Type == Kind::Path ? "file path" : "text the driver reads") +
                                   " (" + p.Name + "): no request names a path; readouts have their own endpoints"};
            return false;
        }
    }
    Call c{exportName, {}};
    int given = 0;
    for (int i = 0; i < e->NumParams; ++i) {
        const generated::Param& p = e->Params[i];
        if (p.Type == Kind::Buffer) continue;  // the worker passes its own buffer
        const std::string field = "[" + std::to_string(given) + "] " + p.Name;
        if (given >= static_cast<int>(body.size())) {
            fault = {field, "missing: " + std::string(e->Name) + " takes " + std::to_string(e->NumParams) + " parameters"};
            return false;
        }
        const json& v = body[static_cast<std::size_t>(given++)];
        if (!v.is_string()) {
            fault = {field, "a JSON string"};
            return false;
        }
        if (!CheckField(p, v.get<std::string>(), field, fault)) return false;
        c.Args.push_back(v.get<std::string>());
    }
    if (given != static_cast<int>(body.size())) {
        fault = {"body", std::string(e->Name) + " takes " + std::to_string(given) + " parameters"};
        return false;
    }
    if (c.Export == "ecf_LinhasLivres" && std::stoi(c.Args[0]) < static_cast<int>(c.Args[1].size())) {
        fault = {"[1] texto", "longer than the count before it: it would be cut"};
        return false;
    }
    plan.Steps.push_back(std::move(c));
    return true;
}

bool ValidateReport(const json& body, Plan& plan, Invalid& fault) {
    plan = Plan{};
    plan.Kind = "report";
    if (!Object(body, "body", fault) || !OnlyKeys(body, {"type"}, "", fault)) return false;
    if (!body.contains("type") || !body["type"].is_string() ||
        (body["type"] != "x" && body["type"] != "z")) {
        fault = {"type", "\"x\" (report type 1, with the wait for the printer) or \"z\" (type 0)"};
        return false;
    }
    plan.Steps.push_back({"ecf_Relatorio_XZ", {body["type"] == "x" ? "1" : "0"}});
    plan.Wait = body["type"] == "x" ? 1 : 0;
    return true;
}

bool ValidateReadout(const json& body, Plan& plan, Invalid& fault) {
    plan = Plan{};
    plan.Kind = "readout";
    Builder b{fault};
    if (!Object(body, "body", fault) || !OnlyKeys(body, {"type", "from", "to", "option"}, "", fault)) return false;
    std::string type, from, to, option = "0";
    if (!b.Str(body, "type", "", true, type) ||
        !b.Rule(type.size() == 1 && type[0] >= '4' && type[0] <= '7', "type", "a readout type, \"4\" to \"7\"") ||
        !b.Str(body, "from", "", true, from) || !b.Str(body, "to", "", true, to) ||
        !b.Str(body, "option", "", false, option))
        return false;
    const generated::Export* e = FindExport("ecf_LeECF");
    if (!CheckField(e->Params[1], from, "from", fault) || !b.Rule(Digits(from), "from", "digits only") ||
        !CheckField(e->Params[2], to, "to", fault) || !b.Rule(Digits(to), "to", "digits only") ||
        !CheckField(e->Params[3], option, "option", fault))
        return false;
    plan.Steps.push_back({"ecf_LeECF", {type, from, to, option}});
    plan.File = true;
    return true;
}

bool ValidateCmc7(const json& body, Plan& plan, Invalid& fault) {
    plan = Plan{};
    plan.Kind = "cmc7";
    if (!Object(body, "body", fault) || !OnlyKeys(body, {}, "", fault)) return false;
    plan.Steps.push_back({"ecf_LeCMC7", {}});
    plan.File = true;
    return true;
}

}  // namespace vltxd
