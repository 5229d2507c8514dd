// A modular application: its main package is exported to nobody, so only the launcher's
// "--add-opens" makes it reachable for the runtime module.
module app.mod {
}
