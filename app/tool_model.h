#pragma once
// The tool without its window: the settings, the script list, the message log
// and the provisioning service, with the operations the main window binds to
// its buttons. The main controller owns one and forwards to it; the headless
// test host runs one on its own.
//
//   ToolModel model;
//   model.restoreSettings(*getViewState(0));
//   model.selectScript(path);    // builds the flash data
//   model.toggleActive();        // devices are answered
//   ...
//   model.saveSettings(*getViewState(0));

#include <string>

#include "app/messagelog.h"
#include "app/scripts.h"
#include "app/settings.h"
#include "common/message.h"
#include "service/provisioning.h"

class ToolModel : public RefCounted<> {
public:
  explicit ToolModel(ServicePorts ports = {}, Clock* clock = systemClock());
  ~ToolModel() override;

  // Makes the script at path the selected one and rebuilds the flash data;
  // an empty path selects nothing and switches the service off.
  void selectScript(const std::string& path);
  // Switches the service on, or off (ending the exchange in progress).
  void toggleActive();

  void restoreSettings(const Message& appRecord);
  void saveSettings(Message& appRecord) const;

  Settings* settings() const { return settings_.get(); }
  ScriptTable* scripts() const { return scripts_.get(); }
  MessageTable* messages() const { return messages_.get(); }
  ProvisioningService* service() const { return service_.get(); }

private:
  Ref<Settings> settings_;
  Ref<MessageTable> messages_;
  Ref<ScriptTable> scripts_;
  Ref<ProvisioningService> service_;
};
