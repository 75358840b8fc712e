// Replaced as the format layer lands.
