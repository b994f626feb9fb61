/* The library the JNI library depends on. */
__attribute__((visibility("default"))) int vx_second_value(void) {
    return 42;
}
