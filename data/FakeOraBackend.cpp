#include "data/FakeOraBackend.h"

#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

// ---------------------------------------------------------------- FakeOraCall

OraParameter& FakeOraCall::param(const std::string& name) const {
  for (auto& p : params_)
    if (EqualsNoCase(p.name, name)) return p;
  raise(vberr::InvalidCall, "Paramètre inconnu : " + name);
}

Value FakeOraCall::in(const std::string& name) const {
  const OraParameter& p = param(name);
  if (p.serverType == ora::TypeClob) {
    auto it = db_.lobs.find(p.lob);
    return (p.lob == 0 || it == db_.lobs.end()) ? Value::null() : Value(it->second);
  }
  return p.value;
}

void FakeOraCall::out(const std::string& name, const Value& value) {
  OraParameter& p = param(name);
  if (p.serverType != ora::TypeClob) {
    p.value = value.isNull() || value.isEmpty() ? Value::null() : Value(CStr(value));
    return;
  }
  if (value.isNull() || value.isEmpty()) {
    p.lob = 0;
    return;
  }
  if (p.lob == 0) p.lob = db_.nextLob++;
  db_.lobs[p.lob] = CStr(value);
}

void FakeOraCall::fail(int32_t code, const std::string& message) { raise(code, message); }

// ---------------------------------------------------------------- FakeOraDatabase

void FakeOraDatabase::addProcedure(const std::string& name, Procedure p) { procedures[UCase(name)] = std::move(p); }

void FakeOraDatabase::refuse(int32_t code, const std::string& message) {
  onLogon = [code, message](const std::string&, const std::string&, const std::string&) { raise(code, message); };
}

// ---------------------------------------------------------------- FakeOraBackend

void FakeOraBackend::logon(const std::string& database, const std::string& user, const std::string& password) {
  ++db_->logons;
  if (db_->onLogon) db_->onLogon(database, user, password);
  db_->database = database;
  db_->user = user;
  db_->password = password;
  db_->connected = true;
}

void FakeOraBackend::logoff() {
  ++db_->logoffs;
  db_->connected = false;
}

bool FakeOraBackend::isConnected() { return db_->connected; }

void FakeOraBackend::reconnect() {
  ++db_->reconnects;
  if (db_->reconnectFails) raise(12541, "ORA-12541: TNS : pas de processus d'écoute");
  db_->connected = true;
}

int64_t FakeOraBackend::createTemporaryClob(const std::string& text) {
  if (!db_->connected) raise(3114, "ORA-03114: non connecté à ORACLE");
  int64_t lob = db_->nextLob++;
  db_->lobs[lob] = text;
  db_->temporary.insert(lob);
  return lob;
}

void FakeOraBackend::freeTemporaryLob(int64_t lob) {
  db_->temporary.erase(lob);
  db_->lobs.erase(lob);
}

std::string FakeOraBackend::readClob(int64_t lob) {
  auto it = db_->lobs.find(lob);
  if (it == db_->lobs.end()) raise(22922, "ORA-22922: valeur LOB inexistante");
  return it->second;
}

void FakeOraBackend::execute(const std::string& block, std::vector<OraParameter>& parameters) {
  if (!db_->connected) raise(3114, "ORA-03114: non connecté à ORACLE");
  const std::string begin = "begin ", end = "; end;";
  if (block.rfind(begin, 0) != 0 || block.size() < begin.size() + end.size() ||
      block.compare(block.size() - end.size(), end.size(), end) != 0)
    raise(6550, "ORA-06550: bloc PL/SQL incorrect");
  std::string name = block.substr(begin.size(), block.size() - begin.size() - end.size());
  name = name.substr(0, name.find('('));

  FakeOraDatabase::Executed rec{block, name, parameters, {}};
  FakeOraCall call(*db_, name, parameters);
  for (const auto& p : parameters) rec.inValues[p.name] = call.in(p.name);
  db_->executed.push_back(rec);

  auto it = db_->procedures.find(UCase(name));
  if (it == db_->procedures.end())
    raise(6550, "ORA-06550: PLS-00201: l'identificateur '" + name + "' doit être déclaré");
  it->second(call);
}

OraBackendFactory FakeOraFactory(std::shared_ptr<FakeOraDatabase> db) {
  return [db](App&) -> std::unique_ptr<IOraBackend> { return std::make_unique<FakeOraBackend>(db); };
}

}  // namespace kup
