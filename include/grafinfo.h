/*
 * Access to a screen's grafinfo configuration: integer and string keys, flags,
 * memory areas the server maps for the driver, and named procedures that
 * program the adapter. Every call reports absence by returning 0 and then
 * writes nothing.
 */
#ifndef DRV_GRAFINFO_H
#define DRV_GRAFINFO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _GrafinfoData *GrafinfoHandle;
typedef struct _GrafCode *GrafCode;

int grafGetInt(GrafinfoHandle, const char *name, int *value);
int grafGetString(GrafinfoHandle, const char *name, char **value);
int grafQuery(GrafinfoHandle, const char *name);
/* A null area name asks for the default area (MEMORY in the drivers' messages). */
int grafGetMemInfo(GrafinfoHandle, const char *area, uint32_t *physBase, uint32_t *length,
                   void **mapped);
/* Runs a named procedure; its result goes through `result` when that is not null.
 * Some drivers pass four further integer arguments. */
int grafExec(GrafinfoHandle, const char *procedure, int *result, ...);
int grafVBRun(GrafinfoHandle, int registers[4], int count);
int grafGetFunction(GrafinfoHandle, const char *procedure, GrafCode *code);
int grafRunCode(GrafCode code, int unused);

#ifdef __cplusplus
}
#endif

#endif
