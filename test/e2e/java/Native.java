// The native method of the JNI test library.
public class Native {
    static native int answer();
}
