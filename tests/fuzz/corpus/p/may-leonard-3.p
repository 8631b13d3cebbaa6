May-Leonard cycle of 3 species: each wins in turn, with ever longer spells of dominance
3 1500 0.01
1 1 1 
0.3 0.25 0.2 
192 32768 16711680 
1 0.8 1.3 
1.3 1 0.8 
0.8 1.3 1 
