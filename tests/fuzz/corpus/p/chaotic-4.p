Chaotic competition of 4 species (Vano et al. 2006): positive Lyapunov exponent
4 800 0.01
1 0.72 1.53 1.27 
0.3 0.4 0.3 0.5 
192 32768 16711680 8388736 
1 1.09 1.52 0 
0 1 0.44 1.36 
2.33 0 1 0.47 
1.21 0.51 0.35 1 
