// Small services: the configuration record and resource claims.
#include "platform/io/io_manager.h"

using namespace plat::io;

PCONFIGURATION_INFORMATION IoGetConfigurationInformation() {
  plat::ke::RequirePassiveLevel("IoGetConfigurationInformation");
  return &CurrentManager().configuration();
}

NTSTATUS IoReportResourceUsage(PUNICODE_STRING, PDRIVER_OBJECT, PCM_RESOURCE_LIST, ULONG,
                               PDEVICE_OBJECT, PCM_RESOURCE_LIST, ULONG, BOOLEAN,
                               BOOLEAN* ConflictDetected) {
  plat::ke::RequirePassiveLevel("IoReportResourceUsage");
  *ConflictDetected = FALSE;
  return STATUS_SUCCESS;
}

NTSTATUS IoAssignResources(PUNICODE_STRING, PUNICODE_STRING, PDRIVER_OBJECT, PDEVICE_OBJECT,
                           PIO_RESOURCE_REQUIREMENTS_LIST, PCM_RESOURCE_LIST* AllocatedResources) {
  plat::ke::RequirePassiveLevel("IoAssignResources");
  if (AllocatedResources != nullptr) *AllocatedResources = nullptr;
  return STATUS_SUCCESS;
}
