module demo.mod {
}
