/* A shared library that exports no ScreenInfo record: drvrun must refuse it. */
int notadriverAnswer(void) {
    return 42;
}
