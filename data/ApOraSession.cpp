#include "data/ApOraSession.h"

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

namespace {

// Parameter names go into the text of the block: only identifiers are
// accepted, so that nothing from a request can change the statement.
bool IsIdentifier(const std::string& s) {
  if (s.empty()) return false;
  bool start = true;
  for (unsigned char c : s) {
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    bool other = (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#';
    if (start ? !letter : !(letter || other)) return false;
    start = false;
  }
  return true;
}

}  // namespace

ApOraSession::ApOraSession(App& app, std::unique_ptr<IOraBackend> backend)
    : app_(app), backend_(std::move(backend)) {
  if (!backend_) raise(vberr::ObjectVariableNotSet, "Aucun accès à la base de données");
}

ApOraSession::~ApOraSession() {
  try {
    freeLobs();
  } catch (...) {
  }
  if (connected_) {
    try {
      backend_->logoff();
    } catch (...) {
    }
  }
}

void ApOraSession::logon(const std::string& database, const std::string& user, const std::string& password) {
  backend_->logon(database, user, password);
  connected_ = true;
}

void ApOraSession::freeLobs() {
  std::vector<int64_t> lobs;
  lobs.swap(temporaryLobs_);
  bool failed = false;
  VbError first(0);
  for (int64_t lob : lobs) {
    try {
      backend_->freeTemporaryLob(lob);
    } catch (const VbError& e) {
      if (!failed) first = e;
      failed = true;
    }
  }
  if (failed) throw first;
}

OraParameter* ApOraSession::find(const std::string& name) {
  for (auto& p : params_)
    if (EqualsNoCase(p.name, name)) return &p;
  return nullptr;
}

bool ApOraSession::bInitParameters(const std::string& procedure) {
  params_.clear();
  procedure_ = procedure;
  refused_ = false;
  reconnectionTried_ = false;
  reconnectionFailed_ = false;
  reconnectionReported_ = false;
  try {
    freeLobs();
    return true;
  } catch (const VbError& e) {
    TraiterErreur(app_, "bInitParameters", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app_, "bInitParameters", vberr::InvalidCall, e.what());
  }
  return false;
}

bool ApOraSession::bAddParameters(const std::string& name, int32_t direction, int32_t serverType, const Value& value,
                                  bool reconnectionTest) {
  try {
    if (!IsIdentifier(name)) raise(vberr::InvalidCall, "Nom de paramètre incorrect : " + name);
    if (direction < ora::ParamInput || direction > ora::ParamInputOutput)
      raise(vberr::InvalidCall, "Sens de paramètre incorrect : " + std::to_string(direction));
    if (serverType != ora::TypeVarchar && serverType != ora::TypeClob)
      raise(vberr::InvalidCall, "Type serveur non pris en charge : " + std::to_string(serverType));
    if (find(name)) raise(vberr::InvalidCall, "Le paramètre " + name + " existe déjà");
    if (reconnectionTest) reconnectOnce();
    OraParameter p;
    p.name = name;
    p.direction = direction;
    p.serverType = serverType;
    bool none = value.isNull() || value.isEmpty();
    if (serverType == ora::TypeClob) {
      // The text travels in a temporary LOB, freed with the next call's parameters.
      if (direction != ora::ParamOutput && !none) {
        p.lob = backend_->createTemporaryClob(CStr(value));
        temporaryLobs_.push_back(p.lob);
      }
    } else {
      p.value = (none || direction == ora::ParamOutput) ? Value::null() : Value(CStr(value));
    }
    params_.push_back(std::move(p));
    return true;
  } catch (const VbError& e) {
    report("bAddParameters", e.number(), e.description());
  } catch (const std::exception& e) {
    report("bAddParameters", vberr::InvalidCall, e.what());
  }
  // Parameters go by position: sent without this one, every later value
  // would land in the parameter before it.
  refused_ = true;
  return false;
}

void ApOraSession::reconnectOnce() {
  // One attempt for the whole call, and one look: a server that is down
  // would otherwise make every parameter wait for its own time-out.
  if (reconnectionTried_) return;
  reconnectionTried_ = true;
  if (backend_->isConnected()) return;
  try {
    backend_->reconnect();
  } catch (...) {
    reconnectionFailed_ = true;
    throw;
  }
}

void ApOraSession::report(const std::string& source, int32_t number, const std::string& description) {
  // Once the call's reconnection has failed, and been reported, what fails
  // for want of the connection is the same failure: reported once.
  if (reconnectionReported_ && !backend_->isConnected()) return;
  TraiterErreur(app_, source, number, description);
  if (reconnectionFailed_) reconnectionReported_ = true;
}

bool ApOraSession::bExecuteSQL(const std::string& procedure) {
  std::string block = "begin " + procedure;
  if (!params_.empty()) {
    block += "(";
    for (size_t i = 0; i < params_.size(); ++i) block += (i ? ",:" : ":") + params_[i].name;
    block += ")";
  }
  block += "; end;";
  lastBlock_ = block;
  // The refusal has been reported already; the call is not sent.
  if (refused_) return false;
  try {
    CheckProcedureName(procedure);
    // A call without parameters has had no parameter to offer it the
    // reconnection: it gets it here, as every call does.
    if (params_.empty()) reconnectOnce();
    backend_->execute(block, params_);
    return true;
  } catch (const VbError& e) {
    report("bExecuteSQL", e.number(), e.description());
  } catch (const std::exception& e) {
    report("bExecuteSQL", vberr::InvalidCall, e.what());
  }
  return false;
}

Value ApOraSession::vParameterValue(const std::string& name) {
  OraParameter* p = find(name);
  if (!p) raise(vberr::InvalidCall, "Paramètre inconnu : " + name);
  if (p->serverType == ora::TypeClob) {
    if (p->lob == 0) return Value::null();
    return Value(backend_->readClob(p->lob));
  }
  return p->value.isEmpty() ? Value::null() : p->value;
}

}  // namespace kup
