one.mp3
/abs/two.wav
