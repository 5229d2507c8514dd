package jvmtest;

// The Java side of the JNI toolkit's tests: texts and arrays made and judged by Java itself, so
// that a conversion cannot agree with a mistaken copy of itself.
public final class ToolkitProbe {
    private ToolkitProbe() {}

    // An embedded zero, Latin-1, CJK, a pair for U+1F600 and an unpaired low surrogate; 2800 code
    // units, so that a copy in pieces of a power of two splits a pair somewhere.
    public static String sample() {
        return "A\u0000\u00e9\u4e2d\uD83D\uDE00\uDC00".repeat(400);
    }

    public static boolean isSample(String text) {
        return sample().equals(text);
    }

    // Element i is null when i % 7 == 3, else "\u20ac" followed by i.
    public static String[] numbered(int count) {
        String[] texts = new String[count];
        for (int i = 0; i < count; ++i) texts[i] = i % 7 == 3 ? null : "\u20ac" + i;
        return texts;
    }

    // Whether element i is "\uD83D\uDE00" followed by i.
    public static boolean isNumberedPairs(String[] texts, int count) {
        if (texts == null || texts.length != count) return false;
        for (int i = 0; i < count; ++i)
            if (!("\uD83D\uDE00" + i).equals(texts[i])) return false;
        return true;
    }

    public static String describe(Object object) {
        return String.valueOf(object);
    }

    // A record as natives make them: a handle, numbers and texts.
    public static final class Record {
        private final String text;

        public Record(long handle, int style, boolean visible, String className, String title) {
            text = handle + "|" + style + "|" + visible + "|" + className + "|" + title;
        }

        @Override
        public String toString() {
            return text;
        }
    }
}
