import java.nio.charset.StandardCharsets;

// Reports what reached the Java side, one "key=value" line each, texts as
// hex of their UTF-8 bytes so that no console encoding gets in the way.
// System properties steer it: probe.exit ends with that code, probe.throw
// throws, probe.oom runs out of heap memory, probe.jni loads that library
// and calls its native method, probe.jvm-args lists the JVM's own arguments
// (through reflection, so that images of this program need java.management
// only where that is asked).
public class Probe {
    static String hex(String text) {
        if (text == null) {
            return "null";
        }
        StringBuilder out = new StringBuilder();
        for (byte b : text.getBytes(StandardCharsets.UTF_8)) {
            out.append(String.format("%02x", b & 0xff));
        }
        return out.toString();
    }

    @SuppressWarnings("unchecked")
    static java.util.List<String> jvmArguments() {
        try {
            Object bean = Class.forName("java.lang.management.ManagementFactory")
                    .getMethod("getRuntimeMXBean").invoke(null);
            return (java.util.List<String>) Class.forName("java.lang.management.RuntimeMXBean")
                    .getMethod("getInputArguments").invoke(bean);
        } catch (ReflectiveOperationException e) {
            throw new IllegalStateException(e);
        }
    }

    public static void main(String[] args) {
        System.out.println("main=" + Probe.class.getName());
        System.out.println("argc=" + args.length);
        for (String arg : args) {
            System.out.println("arg=" + hex(arg));
        }
        System.out.println("app-path=" + hex(System.getProperty("vantorix.app-path")));
        System.out.println("value=" + hex(System.getProperty("probe.value")));
        System.out.println("max-memory=" + Runtime.getRuntime().maxMemory());
        System.out.println("security-manager=" + hex(System.getProperty("java.security.manager")));
        if (System.getProperty("probe.jvm-args") != null) {
            for (String arg : jvmArguments()) {
                System.out.println("jvm-arg=" + hex(arg));
            }
        }
        System.out.println("pid=" + ProcessHandle.current().pid());
        System.out.println("ld=" + hex(System.getenv("LD_LIBRARY_PATH")));
        System.out.println("restart-mark=" + hex(System.getenv("VANTORIX_RESTARTED")));
        System.out.println("runtime-restart-mark=" + hex(System.getenv("VANTORIX_RUNTIME_RESTART")));
        String jni = System.getProperty("probe.jni");
        if (jni != null) {
            System.loadLibrary(jni);
            System.out.println("jni=" + Native.answer());
        }
        System.out.flush();
        if (System.getProperty("probe.oom") != null) {
            java.util.List<long[]> hoard = new java.util.ArrayList<>();
            while (true) {
                hoard.add(new long[1 << 20]);
            }
        }
        if (System.getProperty("probe.throw") != null) {
            throw new IllegalStateException("thrown on purpose");
        }
        String exit = System.getProperty("probe.exit");
        if (exit != null) {
            System.exit(Integer.parseInt(exit));
        }
    }
}
