#include "app/tool_model.h"

#include <winsock2.h>

#include "base/log.h"
#include "service/flash.h"
#include "service/udp.h"

namespace {

uint32_t compressedLength(const std::string& path) { return uint32_t(scriptStream(path).size()); }

}  // namespace

ToolModel::ToolModel(ServicePorts ports, Clock* clock)
    : settings_(makeRef<Settings>()),
      messages_(makeRef<MessageTable>(settings_->messages.get(), clock)),
      scripts_(makeRef<ScriptTable>(settings_->scripts.get(), compressedLength)),
      service_(makeRef<ProvisioningService>(settings_.get(), messages_.get(), ports)) {}

ToolModel::~ToolModel() { service_->endExchange(); }

void ToolModel::selectScript(const std::string& path) {
  service_->setFlashData({});
  scripts_->markSelected(path);
  if (path.empty()) {
    if (settings_->active) toggleActive();
    return;
  }
  nv::log << "selected " << path << nv::endl;
  // Built even for a path that is not listed or is marked missing: the
  // selection is what the operator asked for. A script that gives no stream
  // gives no flash data, so devices are not served four bytes of nothing.
  service_->setFlashData(flashData(path));
  nv::log << "flash data size " << service_->flashData().size() << nv::endl;
}

void ToolModel::toggleActive() {
  if (settings_->active) {
    service_->endExchange();
    settings_->active = false;
  } else {
    settings_->active = true;
  }
}

void ToolModel::restoreSettings(const Message& app) {
  for (const std::string& path : app.getStringList("files", {})) scripts_->addScript(path);
  settings_->active = app.getBool("active", false);
  settings_->clientIP = app.getU32("clientIP", 0);
  selectScript(app.getString("selected", ""));
  if (settings_->clientIP == 0) {
    // The first local address plus one: a free neighbour on most desks.
    settings_->clientIP = htonl(ntohl(localAddressFor(0)) + 1);
  }
}

void ToolModel::saveSettings(Message& app) const {
  std::vector<std::string> files;
  ScriptMap* map = scripts_->map();
  for (size_t i = 0; i < map->size(); ++i) files.push_back(map->entryAt(i)->path);
  app.set("files", stringListValue(files));
  app.set("active", boolValue(settings_->active));
  app.set("clientIP", u32Value(settings_->clientIP));
  app.set("selected", stringValue(scripts_->selectedPath()));
}
