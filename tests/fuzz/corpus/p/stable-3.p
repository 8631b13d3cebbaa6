Stable coexistence of 3 species: weak competition, every population settles; negative exponent
3 400 0.01
1 0.8 1.2 
0.1 0.2 0.3 
192 32768 16711680 
1 0.3 0.2 
0.25 1 0.35 
0.3 0.2 1 
