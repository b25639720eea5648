[playlist]
File1=/a/one.mp3
Title1=One
Length1=3
file2=two.ogg
NumberOfEntries=2
