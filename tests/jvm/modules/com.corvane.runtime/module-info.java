// The launcher runtime's module as the module path sees it.
module com.corvane.runtime {
    exports com.corvane.runtime.boot;
}
