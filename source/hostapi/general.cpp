#include "general.h"

#include "families.h"
#include "nodes.h"

static_assert(sizeof(ModelingCommandData) == sizeof(KhModelingCommandData));
static_assert(offsetof(ModelingCommandData, bc) == offsetof(KhModelingCommandData, settings));
static_assert(offsetof(ModelingCommandData, result) == offsetof(KhModelingCommandData, result));

Filename* path_storage = nullptr;

void GePrint(const String& text) { family::General().print(text.Kh()); }
void GeOpenHTML(const String& address) { family::General().open_html(address.Kh()); }

Filename GeGetPluginPath() {
  if (path_storage) return path_storage->GetDirectory();
  return Filename();
}

ModelingCommandData::~ModelingCommandData() {
  if (result) family::General().free_modeling_result(result);
  result = nullptr;
}

Bool SendModelingCommand(int32 command, ModelingCommandData& data) {
  return family::General().send_modeling_command(command, reinterpret_cast<KhModelingCommandData*>(&data));
}
