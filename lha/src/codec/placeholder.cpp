// Replaced as the codec layer lands.
