package com.example.app;

public final class Main {
    private Main() {}

    public static void main(String[] args) {}
}
