/* The JNI library of the test: its native method asks the second library,
   which the dynamic loader finds only through LD_LIBRARY_PATH. Written
   without jni.h: jint is a 32-bit int and the JNI calling convention is the
   platform's own on Linux. */
int vx_second_value(void);

__attribute__((visibility("default"))) int Java_Native_answer(void* env, void* cls) {
    (void)env;
    (void)cls;
    return vx_second_value();
}
