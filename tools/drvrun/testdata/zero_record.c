/* Exports a record under a driver's name whose slots are all empty: drvrun
 * must refuse it before calling anything. */
void *zerorecordScreenInfo[12] __attribute__((visibility("default")));
